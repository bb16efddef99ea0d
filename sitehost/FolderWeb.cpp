#include "sitehost/FolderWeb.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/PathConventions.h"
#include "platform/Text.h"
#include "sitehost/NavigationOutline.h"
#include "sitehost/PageReader.h"
#include "sitehost/SiteAddress.h"
#include "sitehost/SiteListing.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxOutlineBytes = 16u << 20;
constexpr size_t kProblemsShown = 10;
// Below this many pages per thread, starting a thread costs more than it saves.
constexpr size_t kPagesPerThread = 64;

// One error that names every problem of a refresh, one per line.
Error Summarize(const std::vector<Error>& problems) {
  std::string text;
  for (size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) {
    if (i > 0) text += "\r\n";
    text += problems[i].description;
  }
  if (problems.size() > kProblemsShown) {
    text += "\r\n(and " + std::to_string(problems.size() - kProblemsShown) + " more)";
  }
  return Error{problems.front().number, std::move(text)};
}

// The absolute, lexically normal form of a folder path, without a trailing separator.
fs::path NormalFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path absolute = fs::absolute(folder, ec);
  if (ec) absolute = folder;
  absolute = absolute.lexically_normal();
  if (absolute.has_relative_path() && !absolute.has_filename()) absolute = absolute.parent_path();
  return absolute;
}

}  // namespace

FolderWeb::FolderWeb(fs::path folder)
    : folder_(std::move(folder)),
      url_(sitehost::FolderFileUrl(folder_)),
      root_folder_(folder_.string()) {}

Result<std::unique_ptr<FolderWeb>> FolderWeb::Open(const fs::path& folder) {
  if (folder.empty()) return Error{kErrPathNotFound, "No site folder was given"};
  const fs::path normal = NormalFolder(folder);
  std::error_code ec;
  const fs::file_status status = fs::status(normal, ec);
  if (status.type() == fs::file_type::not_found) {
    return Error{kErrPathNotFound, "The site folder " + normal.string() + " does not exist"};
  }
  if (ec) return ErrnoError("open site folder", ec.value(), normal.string());
  if (status.type() != fs::file_type::directory) {
    return Error{kErrPathNotFound, normal.string() + " is not a folder"};
  }
  auto web = std::make_unique<FolderWeb>(normal);
  Status refreshed = web->Refresh();
  // A site that lists but leaves something out still opens; its problems stay readable.
  if (!refreshed.ok() && web->problems_.empty()) return refreshed.error();
  return web;
}

Status FolderWeb::Refresh() {
  Result<sitehost::SiteListing> listing = sitehost::ListSiteFiles(folder_, &listing_);
  if (!listing.ok()) return listing.error();
  // A folder may have been replaced since: its pages are read from the one at its path now.
  folder_handles_.clear();

  // The same names as before: the files, what was read of them and an outline's navigation stay,
  // so a refresh of an unchanged site costs little more than looking at its folders.
  const std::vector<std::string>& names = listing.value().files;
  const bool same_files =
      listing->unchanged ||
      (!files_.empty() && std::equal(names.begin(), names.end(), files_.begin(), files_.end(),
                                     [](const std::string& name, const FolderWebFile& file) {
                                       return name == file.relative_path();
                                     }));
  if (!same_files) TakeNewSnapshot(std::move(listing.value().files));
  MarkChangedFiles();
  const std::vector<Error> previous = std::exchange(problems_, std::move(listing.value().problems));

  // The outline is read now, so that its problems are known at once; derived navigation
  // waits until it is first asked for, since it reads the pages.
  FolderWebFile* outline = FindFile(sitehost::kOutlineFileName);
  Result<FileHead> text = Error{kErrPathNotFound, "no outline"};
  if (outline != nullptr && outline->relative_path() == sitehost::kOutlineFileName) {
    text = ReadRegularFileHead(outline->Path(), kMaxOutlineBytes);
    if (!text.ok()) problems_.push_back(text.error());
  }
  if (!text.ok()) {
    ForgetNavigation();
    outline_stamp_.reset();
  } else if (!same_files || !navigation_ || outline_stamp_ != text->stamp) {
    ForgetNavigation();
    outline_problems_.clear();
    navigation_ =
        SiteNavigation::FromOutline(sitehost::ParseOutline(text->bytes), *this, outline_problems_);
    outline_stamp_ = text->stamp;
  }
  if (outline_stamp_) {
    problems_.insert(problems_.end(), outline_problems_.begin(), outline_problems_.end());
  }
  // A generation refreshes the site several times: the same problems are told only once.
  const auto same = [](const Error& a, const Error& b) { return a.description == b.description; };
  if (problems_.empty() ||
      std::equal(problems_.begin(), problems_.end(), previous.begin(), previous.end(), same)) {
    return Status::Ok();
  }
  return Summarize(problems_);
}

void FolderWeb::MarkChangedFiles() {
  // Files are sorted by path, so the files of one folder mostly follow one another.
  std::string_view folder;
  bool quiet = false;
  bool first = true;
  for (FolderWebFile& file : files_) {
    if (first || file.Folder() != folder) {
      folder = file.Folder();
      quiet = listing_.Quiet(folder);
      first = false;
    }
    if (!quiet || file.MayChangeElsewhere()) file.MarkUnchecked();
  }
}

void FolderWeb::ForgetNavigation() {
  if (!navigation_) return;
  navigation_.reset();
  for (FolderWebFile& file : files_)
    file.set_navigation_node(nullptr);
}

void FolderWeb::TakeNewSnapshot(std::vector<std::string> names) {
  navigation_.reset();
  outline_stamp_.reset();
  by_lower_path_.clear();
  std::deque<FolderWebFile> files;
  for (std::string& path : names)
    files.emplace_back(this, std::move(path));
  files_.swap(files);
  // Both snapshots are sorted by path: walk them side by side and keep what is still valid.
  auto earlier = files.begin();
  for (FolderWebFile& file : files_) {
    while (earlier != files.end() && earlier->relative_path() < file.relative_path())
      ++earlier;
    if (earlier != files.end() && earlier->relative_path() == file.relative_path()) {
      file.AdoptFacts(*earlier);
    }
  }
  all_files_.clear();
  all_files_.reserve(files_.size());
  for (FolderWebFile& file : files_)
    all_files_.push_back(&file);
}

void FolderWeb::ReadPages(sitehost::PageParts parts) {
  // Each page with the handle of its folder, opened here, before the threads start.
  std::vector<std::pair<FolderWebFile*, const FolderHandle*>> pending;
  std::string_view folder;
  const FolderHandle* handle = nullptr;
  for (FolderWebFile& file : files_) {
    if (!file.IsPage() || !file.NeedsRead(parts)) continue;
    if (handle == nullptr || file.Folder() != folder) {
      folder = file.Folder();
      handle = &FolderHandleOf(folder);
    }
    pending.emplace_back(&file, handle);
  }
  if (pending.empty()) return;
  sitehost::PreparePageReading();
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t i = next++; i < pending.size(); i = next++)
      pending[i].first->Load(parts, pending[i].second);
  };
  const size_t threads = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                          (pending.size() + kPagesPerThread - 1) / kPagesPerThread);
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t)
    helpers.emplace_back(work);
  // This thread works too, and reports progress as it goes.
  size_t reported = 0;
  for (size_t i = next++; i < pending.size(); i = next++) {
    pending[i].first->Load(parts, pending[i].second);
    const size_t done = std::min(next.load(), pending.size());
    if (read_progress_ && done * 100 / pending.size() != reported * 100 / pending.size()) {
      read_progress_(done, pending.size());
      reported = done;
    }
  }
  for (std::thread& helper : helpers)
    helper.join();
  if (read_progress_) read_progress_(pending.size(), pending.size());
}

const FolderHandle& FolderWeb::FolderHandleOf(std::string_view folder) {
  auto it = folder_handles_.find(folder);
  if (it == folder_handles_.end()) {
    // A folder that cannot be opened gets no handle: its pages are read by path, and the read
    // tells what is wrong.
    Result<FolderHandle> opened = FolderHandle::Open(folder.empty() ? folder_ : folder_ / folder);
    it = folder_handles_
             .emplace(std::string(folder), opened.ok() ? std::move(opened).value() : FolderHandle())
             .first;
  }
  return it->second;
}

void FolderWeb::EnsureNavigation() {
  if (!navigation_) navigation_ = SiteNavigation::FromLinks(*this);
}

INavigationNode* FolderWeb::RootNavigationNode() {
  EnsureNavigation();
  return navigation_->root();
}

INavigationNode* FolderWeb::HomeNavigationNode() {
  EnsureNavigation();
  return navigation_->home();
}

std::vector<INavigationNode*> FolderWeb::NavigationNodes() {
  EnsureNavigation();
  return navigation_->DepthFirst();
}

FolderWebFile* FolderWeb::FindFile(std::string_view relative_path) {
  // Searched through the pointers, which index faster than the deque that holds the files.
  const auto it =
      std::lower_bound(all_files_.begin(), all_files_.end(), relative_path,
                       [](IWebFile* file, std::string_view path) {
                         return static_cast<FolderWebFile*>(file)->relative_path() < path;
                       });
  if (it != all_files_.end() &&
      static_cast<FolderWebFile*>(*it)->relative_path() == relative_path) {
    return static_cast<FolderWebFile*>(*it);
  }
  if (by_lower_path_.empty() && !files_.empty()) {
    for (FolderWebFile& file : files_) {
      // Two files that differ only in case make the name ambiguous.
      auto [slot, added] = by_lower_path_.emplace(AsciiLowerCase(file.relative_path()), &file);
      if (!added) slot->second = nullptr;
    }
  }
  const auto found = by_lower_path_.find(AsciiLowerCase(relative_path));
  return found == by_lower_path_.end() ? nullptr : found->second;
}

FolderWebFile* FolderWeb::HomePage() {
  for (const std::string_view name : {"index.htm", "index.html", "default.htm", "default.html"}) {
    if (FolderWebFile* page = FindFile(name)) return page;
  }
  return nullptr;
}

std::string FolderWeb::ProjectReference(std::string_view address) const {
  std::optional<std::string_view> relative = sitehost::RemainderBelow(address, url_);
  if (!relative) relative = sitehost::RemainderBelow(address, folder_.string());
  if (!relative && !sitehost::HasUrlScheme(address) &&
      (address.empty() || address.front() != kPathSeparatorChar)) {
    relative = address;
  }
  if (!relative) return std::string(address);
  std::optional<std::string> normal = sitehost::NormalizeRelativePath(*relative);
  return normal ? std::move(*normal) : std::string(address);
}

bool FolderWeb::HasPages() const {
  for (const FolderWebFile& file : files_) {
    if (file.IsPage()) return true;
  }
  return false;
}

}  // namespace corvina
