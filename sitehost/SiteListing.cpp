#include "sitehost/SiteListing.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/FolderEntries.h"
#include "platform/PathConventions.h"
#include "platform/TextEncoding.h"

namespace corvina::sitehost {
namespace {

namespace fs = std::filesystem;

struct PendingFolder {
  fs::path path;
  std::string relative;  // "" for the site folder, else "a/b"
};

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

}  // namespace

bool IsTemporaryFileName(std::string_view name) {
  constexpr std::string_view kPrefix = "Cor";
  if (name.substr(0, kPrefix.size()) != kPrefix) return false;
  return name.ends_with(".tmp") || name.ends_with(".tmp.htm");
}

Result<SiteListing> ListSiteFiles(const fs::path& site_folder) {
  std::error_code ec;
  const fs::path canonical = fs::canonical(site_folder, ec);
  if (ec) return FolderError(site_folder, ec);
  const std::string canonical_root = canonical.string();

  SiteListing listing;
  std::vector<PendingFolder> pending;
  pending.push_back({site_folder, ""});
  bool at_root = true;
  while (!pending.empty()) {
    PendingFolder folder = std::move(pending.back());
    pending.pop_back();
    Result<FolderEntries> entries = ListFolderEntries(folder.path);
    if (!entries.ok()) {
      if (at_root) return entries.error();
      listing.problems.push_back(entries.error());
      continue;
    }
    const std::string prefix = folder.relative.empty() ? "" : folder.relative + kPathSeparatorChar;
    for (const FolderEntry& entry : entries->entries) {
      const std::string& name = entry.name;
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
          switch (PlaceOfLink(folder.path / name, canonical_root)) {
            case LinkPlace::kInside:
              listing.files.push_back(prefix + name);
              break;
            case LinkPlace::kOutside:
              listing.problems.push_back(OutsideLinkError(prefix + name));
              break;
            case LinkPlace::kNotAFile:
              break;
          }
          break;
        case FolderEntry::Type::kFolder:
          pending.push_back({folder.path / name, prefix + name});
          break;
        case FolderEntry::Type::kFile:
          if (!(at_root && IsTemporaryFileName(name))) listing.files.push_back(prefix + name);
          break;
        case FolderEntry::Type::kOther:
          break;
      }
    }
    if (entries->error) listing.problems.push_back(*entries->error);
    at_root = false;
  }
  SortPaths(listing.files);
  return listing;
}

}  // namespace corvina::sitehost
