#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::chm {

// One reference to another file, character references decoded, otherwise as written
// ("images/a%20b.png?v=2#x").
struct PageLink {
  std::string target;
  bool style_sheet = false;  // <link rel="stylesheet">, @import: the target is read as CSS
};

// What a stored page or style sheet refers to, and the anchors a page defines.
struct PageLinks {
  std::vector<PageLink> links;       // in document order, repeats kept
  std::vector<std::string> anchors;  // <a name=...> and id= on any element, decoded
};

// The references of an HTML page: src, background, dynsrc, lowsrc and poster of any element,
// srcset, href of a, area and link, data of object, and the url(...) and @import targets of
// <style> blocks and style= attributes.
PageLinks ScanPageLinks(std::string_view page);

// The url(...) and @import targets of a style sheet.
PageLinks ScanStyleSheetLinks(std::string_view css);

// One entry of a contents or index file: its first "Name" and a "Local" it names.
struct SitemapLink {
  std::string name;
  std::string local;
};
// The "Local" parameters of a contents or index file, in order.
std::vector<SitemapLink> ScanSitemapLinks(std::string_view sitemap);
// The same, each handed to `each` as it is found.
void ScanSitemapLinks(std::string_view sitemap,
                      const std::function<void(const SitemapLink& link)>& each);

}  // namespace corvina::chm
