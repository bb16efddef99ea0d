#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvina::workshop {

// The sitemap (contents or index file) with each "Local" value that names a file of the
// project re-encoded to that file's name on disk; an empty text when nothing changed.
std::string ReencodeSitemapLocals(std::string_view sitemap, const std::filesystem::path& folder);

// The index with each entry's keyword (its first "Name") converted from Windows-1252 to UTF-8,
// as chmcmd reads keywords; an empty text when nothing changed.
std::string ReencodeIndexKeywords(std::string_view index);

}  // namespace corvina::workshop
