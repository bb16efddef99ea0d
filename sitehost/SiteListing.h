#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileStamp.h"
#include "platform/FolderWatcher.h"
#include "platform/Status.h"
#include "platform/Text.h"

namespace corvina::sitehost {

// The files of a site folder at one moment.
struct SiteListing {
  std::vector<std::string> files;  // site-relative paths with "/", sorted in byte order
  std::vector<Error> problems;     // folders that could not be read, and so are missing
  // Taken with a SiteListingCache: the files are those of the listing before it with the same
  // cache, and `files` is left empty.
  bool unchanged = false;
};

// What one folder gave a listing.
struct FolderListing {
  std::vector<std::string> files;    // names of the files listed
  std::vector<std::string> folders;  // names of the subfolders, in the order they are read
  std::vector<Error> problems;       // entries left out, a listing cut short
  bool has_links = false;
};

// Keeps each folder's listing from one listing of a site to the next, so that the next reads
// again only the folders that changed in between. A folder counts as unchanged when the folder
// watcher saw no change in it and it is still the same folder with the same times; a folder
// that cannot be watched, or that holds symbolic links (their targets change elsewhere), is
// read every time.
class SiteListingCache {
 public:
  // True when, between the last two listings, neither the folder's entries nor any file in it
  // changed: what was read of its files then still holds. "" is the site folder.
  bool Quiet(std::string_view folder) const;
  // How many folders the last listing read from the disk.
  size_t folders_read() const { return folders_read_; }

 private:
  friend Result<SiteListing> ListSiteFiles(const std::filesystem::path& site_folder,
                                           SiteListingCache* cache);
  // Stops the watch unless another folder of the cache holds it.
  friend void ReleaseWatch(SiteListingCache& cache, int watch);
  struct Folder {
    FolderListing listing;
    std::optional<FolderStamp> stamp;  // none when the folder changed while it was read
    int watch = -1;
    bool listed = false;   // `listing` holds what the folder gave
    bool quiet = false;    // unchanged at the last listing
    bool visited = false;  // reached by the last listing
  };
  TextMap<Folder> folders_;
  FolderWatcher watcher_;
  size_t folders_read_ = 0;
};

// Lists every file below the site folder except:
// - hidden ones: any path component that starts with ".";
// - our temporary files in the site folder itself ("Cor*.tmp", "Cor*.tmp.htm");
// - anything that is neither a regular file nor a folder (pipes, sockets, devices);
// - files and folders whose name holds a control character (noted in `problems`), since the
//   project files list one name per line.
// Symbolic links to folders are never followed, so no link can loop or lead outside the site;
// the files they point at are listed at their real place when that is inside the site. A link
// to a regular file is listed under its own name when its target lies inside the site, and
// left out when the target is missing; a link (to a file or a folder) whose real path leaves
// the site is left out and noted in `problems`;
// - names that hold a backslash or are not UTF-8 (noted in `problems`): a help file cannot
// store them under the name they have on disk. Fails only when the site folder itself
// cannot be read; an unreadable subfolder is left out and noted in `problems`. With a cache, a
// folder that did not change since the cache's last listing is not read again.
Result<SiteListing> ListSiteFiles(const std::filesystem::path& site_folder,
                                  SiteListingCache* cache = nullptr);

// True for the names of our temporary files: "Cor" ... ".tmp" and "Cor" ... ".tmp.htm".
bool IsTemporaryFileName(std::string_view name);

}  // namespace corvina::sitehost
