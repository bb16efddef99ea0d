#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shared/HostObjects.h"

namespace corvina {

class FolderWebFile;

// A navigation node of a folder-backed site. Its label is the one the outline gives, else its
// page's title; a node without a page and without a label has an empty label.
class FolderNavigationNode : public INavigationNode {
 public:
  FolderNavigationNode(std::optional<std::string> label, FolderWebFile* page)
      : label_(std::move(label)), page_(page) {}

  std::string Label() override;
  std::string Url() override;
  IWebFile* File() override;
  std::vector<INavigationNode*> Children() override { return children_; }

  void AddChild(FolderNavigationNode* child) { children_.push_back(child); }
  FolderWebFile* page() const { return page_; }
  const std::vector<INavigationNode*>& children() const { return children_; }

 private:
  std::optional<std::string> label_;
  FolderWebFile* page_;
  std::vector<INavigationNode*> children_;
};

}  // namespace corvina
