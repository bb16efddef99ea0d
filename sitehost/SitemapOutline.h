#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::sitehost {

// One entry of a contents file: its first "Name" and its first "Local" parameter, as UTF-8
// with entities decoded, and its place in the tree.
struct SitemapEntry {
  int parent = -1;  // index of the enclosing entry, -1 at the top
  std::string name;
  std::string local;  // the raw reference: maybe Windows-1252, escaped, with an anchor
  bool has_local = false;
};

// Reads the "text/sitemap" objects of a contents file in document order. An entry belongs to
// the nearest entry above it that stands in an outer list. Values are decoded from UTF-8 where
// they are valid UTF-8 and from Windows-1252 elsewhere; the "Local" value keeps its bytes.
std::vector<SitemapEntry> ParseSitemap(std::string_view sitemap);

// An outline file made from a contents file.
struct SitemapOutline {
  std::string text;  // "label | page" or "label |" lines, 4 blanks of indentation per level
  size_t entries = 0;
  // What could not be carried over, one text per entry: a reference to no file of the site,
  // an anchor or a page outside the site.
  std::vector<std::string> problems;
};

// Builds the outline of the site in `folder` from its decompiled contents file, so that the
// site's navigation gives the same contents tree again. Each reference is matched to the file
// it names in the folder: as stored, as Windows-1252, with %XX escapes decoded, and ignoring
// the case of ASCII letters, in this order.
SitemapOutline OutlineFromSitemap(std::string_view sitemap, const std::filesystem::path& folder);

}  // namespace corvina::sitehost
