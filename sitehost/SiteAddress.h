#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace corvina::sitehost {

// Addresses of a folder-backed site. A folder's address is "file://" followed by its absolute
// path as it stands: blanks and non-ASCII letters are kept, nothing is percent-encoded.

// "file:///home/a/My Site" for /home/a/My Site.
std::string FolderFileUrl(const std::filesystem::path& folder);

// Resolves "." and ".." segments and drops empty ones in a "/"-separated relative path.
// nullopt when the path climbs above its start.
std::optional<std::string> NormalizeRelativePath(std::string_view path);

// The rest of `address` after `base` and a "/", or "" when they are equal; nullopt when
// `address` does not lie below `base`. Exact comparison.
std::optional<std::string_view> RemainderBelow(std::string_view address, std::string_view base);

// True when the reference starts with a URL scheme ("http:", "mailto:", "file:").
bool HasUrlScheme(std::string_view reference);

// Where a link found in a page points inside the site: the site-relative path of the target
// file (fragment and query removed, escapes decoded, "\" read as "/"), or nullopt when the link
// leaves the site, names another scheme or only a fragment. `page_folder` is the linking
// page's folder relative to the site ("" at the root); `site_folder` is the site's absolute path.
std::optional<std::string> ResolvePageLink(std::string_view href, std::string_view page_folder,
                                           std::string_view site_folder);

}  // namespace corvina::sitehost
