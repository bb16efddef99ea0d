#pragma once

#include <span>
#include <string>
#include <string_view>

namespace corvina::chm {

// One attribute of a tag: its name lower-cased, its value as written between the quotes
// (character references not decoded). An attribute without "=" has an empty value.
struct HtmlAttribute {
  std::string_view name;
  std::string_view value;
};

// A start or end tag. Names are lower-cased; the views live until the visitor call returns.
struct HtmlTag {
  std::string_view name;
  bool end = false;           // </name>
  bool self_closing = false;  // <name ... />
  std::span<const HtmlAttribute> attributes;

  // The first attribute so named (lower case), or null.
  const HtmlAttribute* Find(std::string_view attribute) const;
};

// What a single pass over a page yields, in document order.
class HtmlVisitor {
 public:
  virtual ~HtmlVisitor() = default;
  virtual void Tag(const HtmlTag& tag) = 0;
  // Text between tags, character references not decoded. Comments, doctypes and processing
  // instructions give nothing.
  virtual void Text(std::string_view text) { (void)text; }
  // The content of a script, style, title or textarea element, which holds no tags: given
  // after the start tag, before the end tag (which comes as a Tag when present).
  virtual void RawText(std::string_view element, std::string_view text) {
    (void)element;
    (void)text;
  }
};

// Reads `page` once, tolerating broken markup as browsers do: a "<" that starts no tag is
// text, a tag cut off by the end of the page is dropped, a comment without "-->" runs to the
// end. Linear in the page's size.
void ScanHtml(std::string_view page, HtmlVisitor& visitor);

// `text` with its character references decoded: the named ones a link or an id may hold
// (&amp; &lt; &gt; &quot; &apos; &nbsp;) and numeric ones, as UTF-8. Others stay as written.
std::string DecodeHtmlReferences(std::string_view text);

// Calls `on_url(url, imported)` for each url(...) and @import target of a style sheet (also of
// a <style> block or a style= attribute), CSS escapes decoded, comments skipped; `imported`
// tells an @import target, itself a style sheet.
template <typename OnUrl>
void ScanCssUrls(std::string_view css, OnUrl&& on_url);

namespace internal {
// Finds the next url(...) or @import target at or after `at`: sets `url` and `imported` and
// returns the position after it, or npos when there is none.
size_t NextCssUrl(std::string_view css, size_t at, std::string& url, bool& imported);
}  // namespace internal

template <typename OnUrl>
void ScanCssUrls(std::string_view css, OnUrl&& on_url) {
  std::string url;
  bool imported = false;
  for (size_t at = internal::NextCssUrl(css, 0, url, imported); at != std::string_view::npos;
       at = internal::NextCssUrl(css, at, url, imported)) {
    on_url(std::string_view(url), imported);
  }
}

}  // namespace corvina::chm
