#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace corvina::sitehost {

// The files of a site folder at one moment.
struct SiteListing {
  std::vector<std::string> files;  // site-relative paths with "/", sorted in byte order
  std::vector<Error> problems;     // folders that could not be read, and so are missing
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
// cannot be read; an unreadable subfolder is left out and noted in `problems`.
Result<SiteListing> ListSiteFiles(const std::filesystem::path& site_folder);

// True for the names of our temporary files: "Cor" ... ".tmp" and "Cor" ... ".tmp.htm".
bool IsTemporaryFileName(std::string_view name);

}  // namespace corvina::sitehost
