#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "workshop/chm/ChmDirectory.h"
#include "workshop/chm/ChmNameIndex.h"
#include "workshop/chm/ChmWarning.h"
#include "workshop/chm/PageLinks.h"

namespace corvina::chm {

// Where a link found in a stored file points.
struct ResolvedLink {
  enum class Kind {
    kNone,     // another scheme (http:, mailto:, javascript:, ms-its:, ...), or no address
    kFile,     // a file of the project: `path`
    kOutside,  // a local file outside the project folder: `path` is the link, normalised
  };
  Kind kind = Kind::kNone;
  std::string path;      // relative to the project folder, "/" separators, percent-decoded
  std::string fragment;  // percent-decoded; empty when the link names no anchor
  bool folder = false;   // the address names a folder ("guide/")
};

// Resolves `link` (as written, character references decoded) from the file `referrer` (a
// project-relative name): "\" read as "/", query and fragment cut off, percent escapes
// decoded, "." and ".." parts applied. A link of only a fragment points at the referrer.
ResolvedLink ResolveLink(std::string_view referrer, std::string_view link);

// The files a compile stores beyond those the project lists: every local file that a stored
// page, style sheet, contents or index file refers to, found on disk (in its on-disk letter
// case when the link's case differs), each once, in the order they are first met. Warns once
// per missing target, naming the first file that refers to it, and checks anchors once every
// page is read.
class LinkedFiles {
 public:
  using Warn = std::function<void(ChmWarning kind, std::string_view text)>;
  LinkedFiles(std::filesystem::path folder, Warn warn);

  // A file that is stored anyway (listed in the project, or the compiler's own).
  void AddListed(std::string_view name);

  // Takes the links of the stored file `referrer`, queueing the new files they reach.
  void Follow(std::string_view referrer, const PageLinks& links);
  void FollowSitemap(std::string_view sitemap, const std::vector<SitemapLink>& links);
  void FollowSitemapLink(std::string_view sitemap, const SitemapLink& link);
  // The anchors a stored page defines; the page counts as read, and as stored.
  void SetAnchors(std::string_view page, const std::vector<std::string>& anchors);

  // The next file reached through links and not yet handed out; false when there is none.
  // `style_sheet` tells whether a link asked for it as a style sheet.
  bool Next(std::string& name, bool& style_sheet);

  // Warns for every link to an anchor that its (stored, read) page does not define.
  void CheckAnchors();
  // Forgets every file and anchor, once no more links are followed.
  void Release();

 private:
  struct AnchorUse {
    std::string page;  // as stored
    std::string fragment;
    std::string first_use;  // "in PAGE" or "Site Map for NAME"
  };
  enum class DiskEntry { kNone, kFile, kFolder };

  void FollowOne(std::string_view referrer, std::string_view link, bool style_sheet,
                 std::string_view first_use);
  // Finds `relative` on disk: the exact name, else the name whose parts differ only in ASCII
  // letter case (or whose Windows-1252 bytes are the UTF-8 name), put into `actual`.
  DiskEntry Lookup(const std::string& relative, std::string& actual);
  const std::vector<std::string>& Listing(const std::string& folder);
  // True when the file's real path (symbolic links resolved) is not inside the folder.
  bool LeavesFolder(const std::string& relative);

  std::filesystem::path folder_;
  std::filesystem::path canonical_folder_;  // folder_ with its links resolved, once needed
  Warn warn_;
  // Every file known to be stored, by number: its name in `known_names_` and whether it was
  // read as a page; found by name as readers compare names.
  struct Known {
    uint32_t offset;
    uint32_t length;
    bool read_as_page;
  };
  std::string_view KnownName(uint32_t known) const {
    return std::string_view(known_names_).substr(known_[known].offset, known_[known].length);
  }
  uint32_t FindKnown(std::string_view name) const;
  bool IsKnown(std::string_view name) const { return FindKnown(name) != ChmNameIndex::kNone; }
  // The number of `name`, added when it is new.
  uint32_t AddKnown(std::string_view name);
  std::string known_names_;
  std::vector<Known> known_;
  ChmNameIndex known_index_;
  std::unordered_set<std::string> reported_;  // missing or outside targets already named
  std::deque<std::pair<std::string, bool>> queue_;
  std::unordered_map<std::string, std::vector<std::string>> listings_;  // folder -> names
  // The anchors of the pages read: folded page name, NUL, folded anchor.
  std::unordered_set<std::string> anchors_;
  std::vector<AnchorUse> anchor_uses_;
  std::unordered_set<std::string> anchor_use_keys_;  // folded "page#fragment"
};

}  // namespace corvina::chm
