#include "workshop/chm/PageTitle.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <memory>

#include "platform/Text.h"
#include "platform/TextEncoding.h"

namespace corvina::chm {
namespace {

struct DocCloser {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

const xmlNode* FindTitle(const xmlNode* node) {
  for (; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE &&
        xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>("title")) == 0) {
      return node;
    }
    if (const xmlNode* found = FindTitle(node->children)) return found;
  }
  return nullptr;
}

std::string TitleOf(std::string_view html) {
  // Pages without a declared charset that are valid UTF-8 are read as UTF-8; others are left to
  // the parser's own detection (a <meta> charset, else Latin-1).
  const char* encoding = IsValidUtf8(html) ? "UTF-8" : nullptr;
  std::unique_ptr<xmlDoc, DocCloser> doc(
      htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, encoding,
                     HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                         HTML_PARSE_NONET | HTML_PARSE_NOBLANKS));
  if (!doc) return {};
  const xmlNode* title = FindTitle(xmlDocGetRootElement(doc.get()));
  if (!title) return {};
  xmlChar* content = xmlNodeGetContent(title);
  if (!content) return {};
  std::string raw(reinterpret_cast<const char*>(content));
  xmlFree(content);
  std::string text;
  for (char c : raw) {
    const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
    if (blank) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else {
      text += c;
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string ReadPageTitle(std::string_view html) {
  if (html.size() > static_cast<size_t>(INT32_MAX)) html = html.substr(0, INT32_MAX);
  // The title sits in the head: parse only up to the first "</title" when there is one.
  static constexpr std::string_view kEnd = "</title";
  auto it = std::search(html.begin(), html.end(), kEnd.begin(), kEnd.end(),
                        [](char a, char b) { return AsciiLower(a) == b; });
  if (it != html.end()) {
    std::string head(html.begin(), it);
    head += "</title>";
    std::string title = TitleOf(head);
    if (!title.empty()) return title;
  }
  return TitleOf(html);
}

}  // namespace corvina::chm
