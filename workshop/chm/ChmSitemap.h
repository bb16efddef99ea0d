#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvina::chm {

// One page a sitemap entry opens: its "Local" value and the "Name" written before it (other
// than the entry's first), which an index shows as the topic's title.
struct SitemapTarget {
  std::string title;  // UTF-8; empty when none was given
  std::string local;  // UTF-8, as written ("page.htm", "sub/page.htm#part")
};

// One <OBJECT type="text/sitemap"> of a contents (.hhc) or index (.hhk) file: in a contents
// file a label and the page it opens, in an index a keyword and its pages.
struct SitemapEntry {
  std::string name;  // UTF-8: the first "Name"
  std::vector<SitemapTarget> targets;
  std::vector<SitemapEntry> children;  // the <UL> that follows the entry
};

// Reads the entries of a sitemap as the viewer does: a <UL> after an entry holds its children,
// tags and parameter names in any letter case, entities decoded, and a value may hold an
// unescaped double quote (a generated sitemap does not escape its labels). Texts that are not
// valid UTF-8 are read as Windows-1252, the generated files' code page.
std::vector<SitemapEntry> ParseSitemap(std::string_view text);

}  // namespace corvina::chm
