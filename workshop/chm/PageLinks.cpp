#include "workshop/chm/PageLinks.h"

#include "platform/Text.h"
#include "workshop/chm/HtmlScanner.h"

namespace corvina::chm {
namespace {

bool ContainsWordIgnoringCase(std::string_view text, std::string_view word) {
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsHtmlSpace(text[at]))
      ++at;
    size_t end = at;
    while (end < text.size() && !IsHtmlSpace(text[end]))
      ++end;
    if (end - at == word.size()) {
      bool same = true;
      for (size_t i = 0; i < word.size() && same; ++i) {
        const char c = text[at + i];
        same = AsciiLower(c) == word[i];
      }
      if (same) return true;
    }
    at = end;
  }
  return false;
}

void AddCss(std::string_view css, std::vector<PageLink>& links) {
  ScanCssUrls(css, [&](std::string_view url, bool imported) {
    if (!url.empty()) links.push_back({std::string(url), imported});
  });
}

// "a.png 1x, b.png 2x": the candidates' addresses.
void AddSrcset(std::string_view srcset, std::vector<PageLink>& links) {
  size_t at = 0;
  while (at < srcset.size()) {
    while (at < srcset.size() && (IsHtmlSpace(srcset[at]) || srcset[at] == ','))
      ++at;
    size_t end = at;
    while (end < srcset.size() && !IsHtmlSpace(srcset[end]))
      ++end;
    std::string_view url = srcset.substr(at, end - at);
    const bool descriptors_follow = url.empty() || url.back() != ',';
    while (!url.empty() && url.back() == ',')
      url.remove_suffix(1);
    if (!url.empty()) links.push_back({std::string(url), false});
    at = end;
    if (descriptors_follow) {
      while (at < srcset.size() && srcset[at] != ',')
        ++at;
    }
  }
}

class LinkCollector : public HtmlVisitor {
 public:
  explicit LinkCollector(PageLinks& out) : out_(out) {}

  void Tag(const HtmlTag& tag) override {
    if (tag.end) return;
    const std::string_view name = tag.name;
    for (const HtmlAttribute& attribute : tag.attributes) {
      const std::string_view a = attribute.name;
      if (a == "src" || a == "background" || a == "dynsrc" || a == "lowsrc" || a == "poster") {
        Add(attribute.value, false);
      } else if (a == "href" && (name == "a" || name == "area")) {
        Add(attribute.value, false);
      } else if (a == "href" && name == "link") {
        const HtmlAttribute* rel = tag.Find("rel");
        // A reverse relation only (<link rev="made" href="author's address">) names no
        // resource of the page.
        if (rel == nullptr && tag.Find("rev") != nullptr) continue;
        Add(attribute.value, rel != nullptr && ContainsWordIgnoringCase(rel->value, "stylesheet"));
      } else if (a == "data" && name == "object") {
        Add(attribute.value, false);
      } else if (a == "srcset") {
        AddSrcset(DecodeHtmlReferences(attribute.value), out_.links);
      } else if (a == "style") {
        AddCss(DecodeHtmlReferences(attribute.value), out_.links);
      } else if (a == "id" || (a == "name" && name == "a")) {
        if (!attribute.value.empty()) out_.anchors.push_back(DecodeHtmlReferences(attribute.value));
      }
    }
  }

  void RawText(std::string_view element, std::string_view text) override {
    if (element == "style") AddCss(text, out_.links);
  }

 private:
  void Add(std::string_view value, bool style_sheet) {
    if (value.empty()) return;
    out_.links.push_back({DecodeHtmlReferences(value), style_sheet});
  }

  PageLinks& out_;
};

// Collects the "Name" and "Local" parameters of each <object> of a sitemap.
class SitemapCollector : public HtmlVisitor {
 public:
  explicit SitemapCollector(const std::function<void(const SitemapLink& link)>& each)
      : each_(each) {}

  void Tag(const HtmlTag& tag) override {
    if (tag.name == "object") {
      name_.clear();
      have_name_ = false;
      return;
    }
    if (tag.end || tag.name != "param") return;
    const HtmlAttribute* param = tag.Find("name");
    const HtmlAttribute* value = tag.Find("value");
    if (param == nullptr || value == nullptr) return;
    if (ContainsWordIgnoringCase(param->value, "name") && !have_name_) {
      name_ = DecodeHtmlReferences(value->value);
      have_name_ = true;
    } else if (ContainsWordIgnoringCase(param->value, "local") && !value->value.empty()) {
      each_({name_, DecodeHtmlReferences(value->value)});
    }
  }

 private:
  const std::function<void(const SitemapLink& link)>& each_;
  std::string name_;
  bool have_name_ = false;
};

}  // namespace

PageLinks ScanPageLinks(std::string_view page) {
  PageLinks links;
  LinkCollector collector(links);
  ScanHtml(page, collector);
  return links;
}

PageLinks ScanStyleSheetLinks(std::string_view css) {
  PageLinks links;
  AddCss(css, links.links);
  return links;
}

std::vector<SitemapLink> ScanSitemapLinks(std::string_view sitemap) {
  std::vector<SitemapLink> links;
  ScanSitemapLinks(sitemap, [&](const SitemapLink& link) { links.push_back(link); });
  return links;
}

void ScanSitemapLinks(std::string_view sitemap,
                      const std::function<void(const SitemapLink& link)>& each) {
  SitemapCollector collector(each);
  ScanHtml(sitemap, collector);
}

}  // namespace corvina::chm
