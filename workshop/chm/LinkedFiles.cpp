#include "workshop/chm/LinkedFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/FolderEntries.h"
#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "workshop/chm/ChmArchiveWriter.h"

namespace corvina::chm {
namespace {

// "http:", "mailto:", "C:" ...: a scheme before any "/", "?" or "#".
bool HasScheme(std::string_view link) {
  if (link.empty() || !std::isalpha(static_cast<unsigned char>(link[0]))) return false;
  for (char c : link.substr(1)) {
    if (c == ':') return true;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return false;
}

// Names and links as written in a page that is not UTF-8 are Windows-1252; messages are UTF-8.
std::string Shown(std::string_view text) {
  return DecodeUtf8OrWindows1252(text);
}

std::string Quote(std::string_view text) {
  return "\"" + Shown(text) + "\"";
}

// The folder part of a relative name, with its "/" ("a/b.htm" -> "a/"; "b.htm" -> "").
std::string_view FolderOf(std::string_view name) {
  const size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : name.substr(0, slash + 1);
}

}  // namespace

ResolvedLink ResolveLink(std::string_view referrer, std::string_view link) {
  ResolvedLink resolved;
  while (!link.empty() && IsHtmlSpace(link.front()))
    link.remove_prefix(1);
  while (!link.empty() && IsHtmlSpace(link.back()))
    link.remove_suffix(1);
  std::string address;
  address.reserve(link.size());
  for (char c : link) {
    if (c == '\t' || c == '\n' || c == '\r') continue;  // browsers drop them inside addresses
    address += c == '\\' ? '/' : c;
  }
  const size_t hash = address.find('#');
  std::string_view path = std::string_view(address).substr(0, hash);
  if (hash != std::string::npos) {
    resolved.fragment = PercentDecode(std::string_view(address).substr(hash + 1));
  }
  path = path.substr(0, path.find('?'));
  if (HasScheme(path) || path.starts_with("//")) return resolved;
  if (path.empty()) {
    // "#x" or "?q": the referrer itself; a bare "#" names nothing.
    if (resolved.fragment.empty()) return resolved;
    resolved.kind = ResolvedLink::Kind::kFile;
    resolved.path = std::string(referrer);
    return resolved;
  }
  const std::string decoded = PercentDecode(path);
  if (decoded.find('\0') != std::string::npos) return resolved;
  std::string joined =
      decoded.starts_with("/") ? decoded : std::string(FolderOf(referrer)) + decoded;
  resolved.folder = joined.ends_with("/");
  std::vector<std::string_view> parts;
  int above = 0;  // ".." parts that climb out of the project folder
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string_view part = std::string_view(joined).substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) {
        ++above;
      } else {
        parts.pop_back();
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  if (parts.empty() && above == 0) return resolved;  // the project folder itself
  for (int i = 0; i < above; ++i)
    resolved.path += i == 0 ? ".." : "/..";
  for (const std::string_view part : parts) {
    if (!resolved.path.empty()) resolved.path += '/';
    resolved.path += part;
  }
  resolved.kind = above > 0 ? ResolvedLink::Kind::kOutside : ResolvedLink::Kind::kFile;
  return resolved;
}

LinkedFiles::LinkedFiles(std::filesystem::path folder, Warn warn)
    : folder_(std::move(folder)), warn_(std::move(warn)) {}

uint32_t LinkedFiles::FindKnown(std::string_view name) const {
  return known_index_.Find(name, [this](uint32_t known) { return KnownName(known); });
}

uint32_t LinkedFiles::AddKnown(std::string_view name) {
  if (const uint32_t known = FindKnown(name); known != ChmNameIndex::kNone) return known;
  known_.push_back(
      {static_cast<uint32_t>(known_names_.size()), static_cast<uint32_t>(name.size()), false});
  known_names_ += name;
  const uint32_t added = static_cast<uint32_t>(known_.size() - 1);
  known_index_.Add(added, [this](uint32_t known) { return KnownName(known); });
  return added;
}

void LinkedFiles::AddListed(std::string_view name) {
  AddKnown(name);
}

void LinkedFiles::Follow(std::string_view referrer, const PageLinks& links) {
  const std::string first_use = "in " + std::string(referrer);
  for (const PageLink& link : links.links)
    FollowOne(referrer, link.target, link.style_sheet, first_use);
}

void LinkedFiles::FollowSitemap(std::string_view sitemap, const std::vector<SitemapLink>& links) {
  for (const SitemapLink& link : links)
    FollowSitemapLink(sitemap, link);
}

void LinkedFiles::FollowSitemapLink(std::string_view sitemap, const SitemapLink& link) {
  FollowOne(sitemap, link.local, false, "Site Map for " + link.name);
}

void LinkedFiles::SetAnchors(std::string_view page, const std::vector<std::string>& anchors) {
  known_[AddKnown(page)].read_as_page = true;
  if (anchors.empty()) return;
  const std::string prefix = FoldChmName(page) + '\0';
  for (const std::string& anchor : anchors)
    anchors_.insert(prefix + FoldChmName(anchor));
}

bool LinkedFiles::Next(std::string& name, bool& style_sheet) {
  if (queue_.empty()) return false;
  name = std::move(queue_.front().first);
  style_sheet = queue_.front().second;
  queue_.pop_front();
  return true;
}

void LinkedFiles::FollowOne(std::string_view referrer, std::string_view link, bool style_sheet,
                            std::string_view first_use) {
  ResolvedLink resolved = ResolveLink(referrer, link);
  if (resolved.kind == ResolvedLink::Kind::kNone) return;
  if (resolved.kind == ResolvedLink::Kind::kOutside) {
    if (reported_.insert("../" + resolved.path).second) {
      warn_(ChmWarning::kLinkOutsideProject,
            "The link " + Quote(link) + " in " + std::string(referrer) +
                " leads outside the project folder; the file is not stored.");
    }
    return;
  }
  std::string name = std::move(resolved.path);
  if (!IsKnown(name)) {
    std::string actual;
    DiskEntry entry = resolved.folder ? DiskEntry::kNone : Lookup(name, actual);
    if (resolved.folder || entry == DiskEntry::kFolder) {
      // A folder opens its index page on a web server; in a help file only that page can.
      entry = DiskEntry::kNone;
      for (const char* index : {"index.html", "index.htm", "default.htm", "default.html"}) {
        const std::string candidate = name + "/" + index;
        if (IsKnown(candidate)) {
          actual = candidate;
          entry = DiskEntry::kFile;
          break;
        }
        if (Lookup(candidate, actual) == DiskEntry::kFile) {
          entry = DiskEntry::kFile;
          break;
        }
      }
      if (entry != DiskEntry::kFile) return;  // a folder without a page: nothing to store
    }
    if (entry != DiskEntry::kFile) {
      if (reported_.insert(FoldChmName(name)).second) {
        warn_(ChmWarning::kLinkNotOnDisk, "Found file " + Shown(name) + " while scanning " +
                                              std::string(referrer) +
                                              ", but couldn't find it on disk");
      }
      return;
    }
    name = std::move(actual);
    // A symbolic link on the way may lead anywhere on the system: only what really lies in
    // the project folder is stored.
    if (!IsKnown(name) && LeavesFolder(name)) {
      if (reported_.insert(FoldChmName(name)).second) {
        warn_(ChmWarning::kLinkOutsideProject,
              "The link " + Quote(link) + " in " + std::string(referrer) +
                  " leads outside the project folder through a symbolic link; the file is not "
                  "stored.");
      }
      return;
    }
    if (!IsKnown(name)) {
      // "#SYSTEM", "$FIftiMain"...: the names a help file keeps for itself.
      if (name.starts_with("#") || name.starts_with("$")) {
        if (reported_.insert(FoldChmName(name)).second) {
          warn_(ChmWarning::kOther,
                "The file " + Quote(name) +
                    " has a name that a .chm keeps for itself; it is not stored.");
        }
        return;
      }
      if (name.size() + 1 > kChmMaxNameBytes) {
        if (reported_.insert(FoldChmName(name)).second) {
          warn_(ChmWarning::kOther,
                "The name of " + Quote(name) + " is too long for a .chm; the file is not stored.");
        }
        return;
      }
      AddKnown(name);
      queue_.emplace_back(name, style_sheet);
    }
  }
  if (!resolved.fragment.empty() &&
      anchor_use_keys_.insert(FoldChmName(name) + "#" + FoldChmName(resolved.fragment)).second) {
    anchor_uses_.push_back({name, std::move(resolved.fragment), std::string(first_use)});
  }
}

void LinkedFiles::CheckAnchors() {
  for (const AnchorUse& use : anchor_uses_) {
    const uint32_t page = FindKnown(use.page);
    if (page == ChmNameIndex::kNone || !known_[page].read_as_page) continue;  // not read
    const std::string fragment = FoldChmName(use.fragment);
    // "#top" scrolls to the top of any page.
    if (fragment == "top" || anchors_.contains(FoldChmName(use.page) + '\0' + fragment)) continue;
    warn_(ChmWarning::kAnchorUndefined, "Anchor " + use.page + "#" + Shown(use.fragment) +
                                            " undefined; first use " + Shown(use.first_use));
  }
}

void LinkedFiles::Release() {
  known_names_ = {};
  known_ = {};
  known_index_ = {};
  reported_ = {};
  queue_ = {};
  listings_ = {};
  anchors_ = {};
  anchor_uses_ = {};
  anchor_use_keys_ = {};
}

const std::vector<std::string>& LinkedFiles::Listing(const std::string& folder) {
  auto [it, added] = listings_.try_emplace(folder);
  if (!added) return it->second;
  const std::filesystem::path path = folder.empty() ? folder_ : folder_ / folder;
  if (Result<FolderEntries> listing = ListFolderEntries(path); listing.ok()) {
    for (const FolderEntry& entry : listing->entries)
      it->second.push_back(entry.name);
  }
  std::sort(it->second.begin(), it->second.end());  // the first match is the same every run
  return it->second;
}

bool LinkedFiles::LeavesFolder(const std::string& relative) {
  std::error_code ec;
  if (canonical_folder_.empty()) canonical_folder_ = std::filesystem::canonical(folder_, ec);
  const std::filesystem::path real = std::filesystem::canonical(folder_ / relative, ec);
  if (ec || canonical_folder_.empty()) return true;
  const std::filesystem::path inside = real.lexically_relative(canonical_folder_);
  return inside.empty() || *inside.begin() == "..";
}

LinkedFiles::DiskEntry LinkedFiles::Lookup(const std::string& relative, std::string& actual) {
  const auto kind = [&](const std::string& name) {
    struct stat info;
    if (::stat((folder_ / name).c_str(), &info) != 0) return DiskEntry::kNone;
    if (S_ISREG(info.st_mode)) return DiskEntry::kFile;
    return S_ISDIR(info.st_mode) ? DiskEntry::kFolder : DiskEntry::kNone;
  };
  if (DiskEntry found = kind(relative); found != DiskEntry::kNone) {
    actual = relative;
    return found;
  }
  // Part by part, as a Windows file system would match it.
  std::string built;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string_view part = std::string_view(relative).substr(start, end - start);
    const std::string folded = FoldChmName(part);
    const std::string as_utf8 = IsValidUtf8(part) ? std::string() : FoldChmName(AnsiToUtf8(part));
    const std::vector<std::string>& names = Listing(built);
    auto match = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
      const std::string candidate = FoldChmName(name);
      return candidate == folded || (!as_utf8.empty() && candidate == as_utf8);
    });
    if (match == names.end()) return DiskEntry::kNone;
    if (!built.empty()) built += '/';
    built += *match;
    start = end + 1;
  }
  const DiskEntry found = kind(built);
  if (found != DiskEntry::kNone) actual = built;
  return found;
}

}  // namespace corvina::chm
