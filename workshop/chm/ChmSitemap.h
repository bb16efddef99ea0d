#pragma once

#include <cstddef>
#include <functional>
#include <memory>
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

// Takes each entry of a sitemap as it is read, in tree order, with its depth (0 at the top);
// an entry at depth d + 1 is a child of the last entry at depth d. `children` stays empty.
using SitemapEntryHandler = std::function<void(size_t depth, SitemapEntry& entry)>;

// Reads a sitemap handed over a piece at a time, as ParseSitemap reads it whole: only the
// part of the text that is not read yet and the current entry are held (a tag is held whole
// until it can be read, however long it is).
class SitemapStreamReader {
 public:
  explicit SitemapStreamReader(SitemapEntryHandler handler);
  ~SitemapStreamReader();
  SitemapStreamReader(const SitemapStreamReader&) = delete;
  SitemapStreamReader& operator=(const SitemapStreamReader&) = delete;

  void Add(std::string_view text);
  // The end of the text: what is left is read as it stands.
  void Finish();

 private:
  class Reader;
  std::unique_ptr<Reader> reader_;
};

// Hands the entries of `tree` to `handler` as SitemapStreamReader would.
void WalkSitemap(const std::vector<SitemapEntry>& tree, const SitemapEntryHandler& handler);

}  // namespace corvina::chm
