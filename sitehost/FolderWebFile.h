#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "shared/HostObjects.h"

namespace corvina {

class FolderNavigationNode;
class FolderWeb;
namespace sitehost {
struct PageFacts;
}

// A file of a folder-backed site. A page (extension htm, html, shtml, xhtml, asp or aspx, in
// any case) is read on the first call that needs its title, keywords or links, and the result
// is kept until the site's next refresh.
class FolderWebFile : public IWebFile {
 public:
  FolderWebFile(FolderWeb* web, std::string relative_path);
  ~FolderWebFile() override;
  FolderWebFile(FolderWebFile&&) noexcept;

  std::string Extension() override;
  std::string Url() override;
  // The page's title; the file name when the page has none, cannot be read, or is no page.
  std::string Title() override;
  // "keywords" (any case): the page's keywords; fails when the file is no page, cannot be
  // read, or carries no keywords meta. Every other property fails.
  Result<std::string> Property(std::string_view name) override;
  INavigationNode* NavigationNode() override;

  const std::string& relative_path() const { return relative_path_; }
  std::string_view Name() const;
  std::string_view Folder() const;  // site-relative folder, "" at the root
  std::filesystem::path Path() const;
  bool IsPage() const;
  // The links of the page, as written; empty for an unreadable page or another file.
  const std::vector<std::string>& Links();
  // Forgets the links once the navigation is built; the title and keywords stay.
  void ReleaseLinks();
  // Takes over what the same file of the previous snapshot read, when the file has not changed
  // since (same size and modification time) and its links are still known. Returns true when
  // it did, so that a refresh does not read every page again.
  bool AdoptFacts(FolderWebFile& earlier);

  FolderNavigationNode* navigation_node() const { return node_; }
  void set_navigation_node(FolderNavigationNode* node) { node_ = node; }

 private:
  struct Stamp {
    bool known = false;
    uintmax_t size = 0;
    int64_t written = 0;
  };
  Stamp CurrentStamp() const;
  const Result<sitehost::PageFacts>& Facts();

  FolderWeb* web_;
  std::string relative_path_;
  std::unique_ptr<Result<sitehost::PageFacts>> facts_;
  FolderNavigationNode* node_ = nullptr;
  Stamp stamp_;
  bool links_released_ = false;
};

}  // namespace corvina
