#include "sitehost/FolderNavigationNode.h"

#include "sitehost/FolderWebFile.h"

namespace corvina {

std::string FolderNavigationNode::Label() {
  if (label_ && !label_->empty()) return *label_;
  return page_ != nullptr ? page_->Title() : label_.value_or(std::string());
}

std::string FolderNavigationNode::Url() {
  return page_ != nullptr ? page_->Url() : std::string();
}

IWebFile* FolderNavigationNode::File() {
  return page_;
}

}  // namespace corvina
