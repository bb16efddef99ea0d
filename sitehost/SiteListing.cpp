#include "sitehost/SiteListing.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/FolderEntries.h"
#include "platform/OpenFaults.h"
#include "platform/PathConventions.h"
#include "platform/TextEncoding.h"

namespace corvina::sitehost {
namespace {

namespace fs = std::filesystem;

struct PendingFolder {
  fs::path path;
  std::string relative;  // "" for the site folder, else "a/b"
};

bool SameErrors(const std::vector<Error>& a, const std::vector<Error>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Error& x, const Error& y) {
    return x.number == y.number && x.description == y.description;
  });
}

bool SameListing(const FolderListing& a, const FolderListing& b) {
  return a.files == b.files && a.folders == b.folders && a.has_links == b.has_links &&
         SameErrors(a.problems, b.problems);
}

// True when `target` (a canonical path) lies below `root` (a canonical folder).
bool IsInside(const std::string& target, const std::string& root) {
  if (root == "/") return target.size() > 1;
  return target.size() > root.size() && target.starts_with(root) &&
         target[root.size()] == kPathSeparatorChar;
}

enum class LinkPlace { kInside, kOutside, kNotAFile };

// A symbolic link is listed only when it names a regular file inside the site; one whose real
// path leaves the site is reported, so that no file of the system is compiled in unseen.
LinkPlace PlaceOfLink(const fs::path& link, const std::string& canonical_root) {
  std::error_code ec;
  const fs::path target = fs::canonical(link, ec);
  if (ec) return LinkPlace::kNotAFile;  // missing or looping: nothing to compile
  if (!IsInside(target.string(), canonical_root) && target.string() != canonical_root) {
    return LinkPlace::kOutside;
  }
  return fs::is_regular_file(fs::status(link, ec)) ? LinkPlace::kInside : LinkPlace::kNotAFile;
}

Error OutsideLinkError(const std::string& path) {
  return Error{kErrPermissionDenied,
               "left out " + path + ": it is a symbolic link to a place outside the site"};
}

// A help file reads "\" as a folder separator, and its names are UTF-8 or the project's code
// page: a name that is neither would be stored under another name, or refused by the
// compiler.
std::optional<Error> UnstorableNameError(const std::string& path, std::string_view name) {
  if (name.find('\\') != std::string_view::npos) {
    return Error{kErrInvalidArgument, "left out " + path +
                                          ": its name holds a backslash, which a help file reads "
                                          "as a folder separator"};
  }
  if (!IsValidUtf8(name)) {
    std::string shown = path;
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return Error{kErrInvalidArgument, "left out " + shown +
                                          ": its name is not UTF-8 text (a byte of another code "
                                          "page?)"};
  }
  return std::nullopt;
}

bool HasControlCharacter(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// A name that holds a line end could add lines of its own to the project files that list it.
Error ControlCharacterError(std::string path) {
  for (char& c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return Error{kErrInvalidArgument,
               "left out " + path + ": its name holds a control character (a line end or tab)"};
}

Error FolderError(const fs::path& folder, const std::error_code& ec) {
  return ErrnoError("read folder", ec.value(), folder.string());
}

// Sorts paths in byte order (std::string compares as unsigned char), moving each string once.
void SortPaths(std::vector<std::string>& paths) {
  std::vector<uint32_t> order(paths.size());
  for (uint32_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(),
            [&paths](uint32_t a, uint32_t b) { return paths[a] < paths[b]; });
  std::vector<std::string> sorted;
  sorted.reserve(paths.size());
  for (const uint32_t i : order)
    sorted.push_back(std::move(paths[i]));
  paths.swap(sorted);
}

// Reads one folder of the site; `prefix` is its site-relative path with a final "/" ("" for
// the site folder).
Result<FolderListing> ReadFolder(const fs::path& path, const std::string& prefix,
                                 const std::string& canonical_root) {
  Result<FolderEntries> entries = ListFolderEntries(path);
  if (!entries.ok()) return entries.error();
  FolderListing listing;
  const bool at_root = prefix.empty();
  for (FolderEntry& entry : entries.value().entries) {
    std::string& name = entry.name;
    if (name.empty() || name.front() == '.') continue;
    if (HasControlCharacter(name)) {
      listing.problems.push_back(ControlCharacterError(prefix + name));
      continue;
    }
    if (std::optional<Error> unstorable = UnstorableNameError(prefix + name, name)) {
      listing.problems.push_back(std::move(*unstorable));
      continue;
    }
    switch (entry.type) {
      case FolderEntry::Type::kLink:
        listing.has_links = true;
        switch (PlaceOfLink(path / name, canonical_root)) {
          case LinkPlace::kInside:
            listing.files.push_back(std::move(name));
            break;
          case LinkPlace::kOutside:
            listing.problems.push_back(OutsideLinkError(prefix + name));
            break;
          case LinkPlace::kNotAFile:
            break;
        }
        break;
      case FolderEntry::Type::kFolder:
        listing.folders.push_back(std::move(name));
        break;
      case FolderEntry::Type::kFile:
        if (!(at_root && IsTemporaryFileName(name))) listing.files.push_back(std::move(name));
        break;
      case FolderEntry::Type::kOther:
        break;
    }
  }
  if (entries->error) listing.problems.push_back(*entries->error);
  return listing;
}

}  // namespace

void ReleaseWatch(SiteListingCache& cache, int watch) {
  if (watch < 0) return;
  // A folder moved within the site keeps its watch under its new path.
  for (const auto& [relative, folder] : cache.folders_) {
    if (folder.watch == watch) return;
  }
  cache.watcher_.Unwatch(watch);
}

bool SiteListingCache::Quiet(std::string_view folder) const {
  const auto it = folders_.find(folder);
  return it != folders_.end() && it->second.quiet;
}

bool IsTemporaryFileName(std::string_view name) {
  constexpr std::string_view kPrefix = "Cor";
  if (name.substr(0, kPrefix.size()) != kPrefix) return false;
  return name.ends_with(".tmp") || name.ends_with(".tmp.htm");
}

Result<SiteListing> ListSiteFiles(const fs::path& site_folder, SiteListingCache* cache) {
  std::error_code ec;
  const fs::path canonical = fs::canonical(site_folder, ec);
  if (ec) return FolderError(site_folder, ec);
  const std::string canonical_root = canonical.string();

  // Taken before any folder is looked at, so that a change made while the listing runs counts
  // at the next one.
  FolderWatcher::Changes changes;
  if (cache != nullptr) {
    changes = cache->watcher_.TakeChanges();
    cache->folders_read_ = 0;
    for (auto& [relative, folder] : cache->folders_)
      folder.visited = false;
  }
  bool unchanged = cache != nullptr && !cache->folders_.empty();

  SiteListing listing;
  // The folders in the order they were reached, with what each gave.
  std::vector<std::pair<std::string, const FolderListing*>> reached;
  std::deque<FolderListing> uncached;  // without a cache
  std::vector<PendingFolder> pending;
  pending.push_back({site_folder, ""});
  while (!pending.empty()) {
    PendingFolder folder = std::move(pending.back());
    pending.pop_back();
    const bool at_root = folder.relative.empty();
    const std::string prefix = at_root ? "" : folder.relative + kPathSeparatorChar;
    const FolderListing* contents = nullptr;
    if (cache != nullptr) {
      SiteListingCache::Folder& cached = cache->folders_[folder.relative];
      cached.visited = true;
      Result<FolderStamp> stamp = ReadFolderStamp(folder.path);
      cached.quiet = cached.listed && cached.watch >= 0 && !changes.all &&
                     !changes.ids.contains(cached.watch) && !cached.listing.has_links &&
                     cached.stamp && stamp.ok() && *stamp == *cached.stamp &&
                     InjectedOpenFault(folder.path) == 0;
      if (!cached.quiet) {
        // Watched before it is read, so that no change after the read goes unseen. A folder
        // at this path may be another than before (moved in, made anew): its watch is its own.
        const int watch = cache->watcher_.Watch(folder.path);
        if (watch != cached.watch) {
          const int earlier = std::exchange(cached.watch, watch);
          ReleaseWatch(*cache, earlier);
        }
        Result<FolderListing> read = ReadFolder(folder.path, prefix, canonical_root);
        ++cache->folders_read_;
        if (!read.ok()) {
          if (at_root) return read.error();
          listing.problems.push_back(read.error());
          cached.listed = false;
          unchanged = false;
          continue;
        }
        // A folder that changed while it was read is read again next time.
        Result<FolderStamp> after = ReadFolderStamp(folder.path);
        cached.stamp.reset();
        if (stamp.ok() && after.ok() && *stamp == *after) cached.stamp = *after;
        if (!cached.listed || !SameListing(read.value(), cached.listing)) unchanged = false;
        cached.listing = std::move(read.value());
        cached.listed = true;
      }
      contents = &cached.listing;
    } else {
      Result<FolderListing> read = ReadFolder(folder.path, prefix, canonical_root);
      if (!read.ok()) {
        if (at_root) return read.error();
        listing.problems.push_back(read.error());
        continue;
      }
      contents = &uncached.emplace_back(std::move(read.value()));
    }
    listing.problems.insert(listing.problems.end(), contents->problems.begin(),
                            contents->problems.end());
    for (const std::string& name : contents->folders)
      pending.push_back({folder.path / name, prefix + name});
    reached.emplace_back(prefix, contents);
  }

  if (cache != nullptr) {
    // Folders that are gone, or no longer reached, are forgotten.
    for (auto it = cache->folders_.begin(); it != cache->folders_.end();) {
      if (it->second.visited) {
        ++it;
        continue;
      }
      unchanged = false;
      const int watch = it->second.watch;
      it = cache->folders_.erase(it);
      ReleaseWatch(*cache, watch);
    }
    if (unchanged) {
      listing.unchanged = true;
      return listing;
    }
  }
  size_t count = 0;
  for (const auto& [prefix, contents] : reached)
    count += contents->files.size();
  listing.files.reserve(count);
  for (const auto& [prefix, contents] : reached) {
    for (const std::string& name : contents->files)
      listing.files.push_back(prefix + name);
  }
  SortPaths(listing.files);
  return listing;
}

}  // namespace corvina::sitehost
