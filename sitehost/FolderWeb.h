#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Status.h"
#include "platform/Text.h"
#include "shared/HostObjects.h"
#include "sitehost/FolderWebFile.h"
#include "sitehost/FolderWebFolder.h"
#include "sitehost/FolderWebWindow.h"
#include "sitehost/SiteListing.h"
#include "sitehost/SiteNavigation.h"

namespace corvina {

// A site that is a folder. Its location and address are the folder's "file://" URL with the
// path as it stands (file:///home/a/My Site), and a file's address is that URL, "/" and the
// file's site-relative path. The files (see ListSiteFiles for which) are a snapshot taken at
// Refresh(). Navigation comes from the outline file navigation.txt in the site folder when
// there is one (read at refresh), else from the home page's links (followed when the
// navigation is first asked for). Titles and keywords are read on first use.
class FolderWeb : public IWeb {
 public:
  // Opens the folder and takes the first snapshot. Fails when the path is empty, does not
  // exist, is not a folder, or cannot be read. Problems that leave part of the site out do
  // not keep it from opening; Problems() lists them.
  static Result<std::unique_ptr<FolderWeb>> Open(const std::filesystem::path& folder);

  // Takes a new snapshot; every file and node handed out before becomes invalid. Fails when
  // the folder cannot be read (the previous snapshot stays), and also when the new snapshot
  // is complete except for Problems(): then the snapshot is taken and, when the problems are not
  // the same as at the last refresh, the error names them.
  Status Refresh() override;
  std::string Location() override { return url_; }
  std::string Url() override { return url_; }
  const std::vector<IWebFile*>& AllFiles() override { return all_files_; }
  INavigationNode* RootNavigationNode() override;
  INavigationNode* HomeNavigationNode() override;
  std::vector<INavigationNode*> NavigationNodes() override;
  IWebFolder* RootFolder() override { return &root_folder_; }
  IWebWindow* ActiveWebWindow() override { return &window_; }

  // A site with an empty snapshot until Refresh(); Open() is the usual way in.
  explicit FolderWeb(std::filesystem::path folder);

  const std::filesystem::path& folder() const { return folder_; }
  const std::string& url() const { return url_; }
  FolderWebWindow& window() { return window_; }
  // What the last refresh had to leave out or could not follow: unreadable folders, outline
  // lines naming missing pages, an unreadable outline.
  const std::vector<Error>& Problems() const { return problems_; }
  // True when at least one listed file is a page (.htm, .html, ...): a site without pages has
  // nothing to compile.
  bool HasPages() const;

  // A page's reference in the help project: its site-relative path with "/". Takes the
  // page's address (file:///site/a/b.htm), its local path (/site/a/b.htm) or a reference
  // that is already site-relative (a/b.htm, as MakeRelativeUrl gives). Any other text (an
  // address outside the site, another scheme) comes back unchanged.
  std::string ProjectReference(std::string_view address) const;

  // The file at a site-relative path: exact match, else the one file that matches ignoring
  // ASCII case (links made on case-blind systems); nullptr when none or ambiguous.
  FolderWebFile* FindFile(std::string_view relative_path);
  // index.htm, index.html, default.htm or default.html in the site folder (in that order of
  // preference, any case); nullptr when there is none.
  FolderWebFile* HomePage();
  // Builds the navigation if this snapshot has none yet.
  void EnsureNavigation();

  // Reads (or checks against the disk) every page that needs it for `parts`, on as many
  // threads as there are cores. A page's first use does this, so one read serves them all.
  void ReadPages(sitehost::PageParts parts);
  // Told how far ReadPages got (pages done, pages to do), from the calling thread only.
  using ReadProgress = std::function<void(size_t done, size_t total)>;
  void set_read_progress(ReadProgress progress) { read_progress_ = std::move(progress); }
  // How many folders the last refresh read from the disk; the others had not changed.
  size_t FoldersReadAtRefresh() const { return listing_.folders_read(); }

 private:
  // Replaces the files by those named (sorted), taking over what was read of the same names.
  void TakeNewSnapshot(std::vector<std::string> names);
  // Has every file whose folder changed since the last refresh checked against the disk on
  // its next use.
  void MarkChangedFiles();
  // The open folder (site-relative, "" for the site folder), opened on first need; an invalid
  // handle when it cannot be opened.
  const FolderHandle& FolderHandleOf(std::string_view folder);
  // Drops the navigation, and the files' links to its nodes, so that it can be built anew.
  void ForgetNavigation();

  std::filesystem::path folder_;
  std::string url_;
  sitehost::SiteListingCache listing_;
  FolderWebFolder root_folder_;
  FolderWebWindow window_;
  std::deque<FolderWebFile> files_;  // sorted by relative path; addresses stay put
  std::vector<IWebFile*> all_files_;
  std::vector<Error> problems_;
  std::optional<SiteNavigation> navigation_;
  std::optional<FileStamp> outline_stamp_;  // of the outline navigation_ was built from
  std::vector<Error> outline_problems_;     // what building it from the outline found
  std::unordered_map<std::string, FolderWebFile*> by_lower_path_;  // built on first need
  ReadProgress read_progress_;
  // Open folders of this snapshot, for reading their pages.
  TextMap<FolderHandle> folder_handles_;
};

}  // namespace corvina
