#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileStamp.h"
#include "platform/Status.h"
#include "shared/HostObjects.h"

namespace corvina {

class FolderNavigationNode;
class FolderWeb;
namespace sitehost {
struct PageFacts;
enum class PageParts;
}  // namespace sitehost

// A file of a folder-backed site. A page (extension htm, html, shtml, xhtml, asp or aspx, in
// any case) is read on the first call that needs its title, keywords or links (the site then
// reads every page that needs it at once, see FolderWeb::ReadPages), and the result is kept
// until the site's next refresh.
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
  std::string PathText() const;  // Path() as text
  bool IsPage() const;
  // The links of the page, as written; empty for an unreadable page or another file.
  const std::vector<std::string>& Links();
  // Forgets the links once the navigation is built; the title and keywords stay.
  void ReleaseLinks();
  // Takes over what the same file of the previous snapshot read, without touching the disk,
  // and whether it was checked since. Returns true when there was something to take over.
  bool AdoptFacts(FolderWebFile& earlier);
  // Has what was read of the file checked against the disk on its next use.
  // A file unchecked is checked against its size and modification time once on its next use,
  // and read again only when it changed.
  void MarkUnchecked() { current_ = false; }
  // True when the file has other names, through which it can change unseen by its folder.
  bool MayChangeElsewhere() const { return stamp_ && stamp_->names > 1; }
  // True when the page must be read (or checked) before it can answer for `parts`.
  bool NeedsRead(sitehost::PageParts parts) const;
  // Reads or checks the page as NeedsRead says, through its open folder when one is given.
  // Touches only this file, so that several files may be loaded at once on different threads.
  void Load(sitehost::PageParts parts, const FolderHandle* folder = nullptr);

  FolderNavigationNode* navigation_node() const { return node_; }
  void set_navigation_node(FolderNavigationNode* node) { node_ = node; }

 private:
  const Result<sitehost::PageFacts>& Facts(sitehost::PageParts parts);

  FolderWeb* web_;
  std::string relative_path_;
  std::unique_ptr<Result<sitehost::PageFacts>> facts_;
  FolderNavigationNode* node_ = nullptr;
  std::optional<FileStamp> stamp_;  // of the file as facts_ were read from it
  bool current_ = false;            // facts_ were read or checked since the last refresh
  bool links_released_ = false;
};

}  // namespace corvina
