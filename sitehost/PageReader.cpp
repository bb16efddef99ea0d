#include "sitehost/PageReader.h"

#include <libxml/HTMLparser.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "platform/TextEncoding.h"

namespace corvina::sitehost {
namespace {

constexpr std::string_view kBlanks = " \t\n\r\f";

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct ParserFree {
  void operator()(htmlParserCtxt* parser) const { htmlFreeParserCtxt(parser); }
};
struct XmlCharFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlCharFree>;

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

// Position of `word` in `text`, ignoring ASCII case, or npos.
size_t FindNoCase(std::string_view text, std::string_view word, size_t from = 0) {
  const bool leads_with_letter =
      AsciiLower(word.front()) != word.front() || (word.front() >= 'a' && word.front() <= 'z');
  for (size_t i = from; i + word.size() <= text.size(); ++i) {
    if (!leads_with_letter) {
      i = text.find(word.front(), i);
      if (i == std::string_view::npos || i + word.size() > text.size()) break;
    }
    size_t k = 0;
    while (k < word.size() && AsciiLower(text[i + k]) == word[k])
      ++k;
    if (k == word.size()) return i;
  }
  return std::string_view::npos;
}

// The value after `key` ("charset", "encoding"): optional blanks, "=", blanks or quotes, then
// the name. Empty when there is none.
std::string ValueAfter(std::string_view text, size_t key_end) {
  size_t i = key_end;
  while (i < text.size() && kBlanks.find(text[i]) != std::string_view::npos)
    ++i;
  if (i >= text.size() || text[i] != '=') return {};
  ++i;
  while (i < text.size() &&
         (kBlanks.find(text[i]) != std::string_view::npos || text[i] == '"' || text[i] == '\'')) {
    ++i;
  }
  const size_t start = i;
  while (i < text.size()) {
    const char c = text[i];
    const bool name_char = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
    if (!name_char) break;
    ++i;
  }
  return AsciiLower(text.substr(start, i - start));
}

// The charset a page declares in its first bytes, lower-cased; empty when none.
std::string DeclaredCharset(std::string_view raw) {
  const std::string_view head = raw.substr(0, 4096);
  if (head.substr(0, 5) == "<?xml") {
    const std::string_view prolog = head.substr(0, head.find("?>"));
    const size_t at = FindNoCase(prolog, "encoding");
    if (at != std::string_view::npos) {
      std::string name = ValueAfter(prolog, at + 8);
      if (!name.empty()) return name;
    }
  }
  for (size_t at = FindNoCase(head, "charset"); at != std::string_view::npos;
       at = FindNoCase(head, "charset", at + 1)) {
    std::string name = ValueAfter(head, at + 7);
    if (!name.empty()) return name;
  }
  return {};
}

bool IsWindows1252Name(std::string_view name) {
  constexpr std::string_view kNames[] = {"iso-8859-1", "iso8859-1", "iso_8859-1",   "latin1",
                                         "latin-1",    "l1",        "windows-1252", "cp1252",
                                         "us-ascii",   "ascii",     "x-cp1252"};
  for (const std::string_view known : kNames) {
    if (name == known) return true;
  }
  return false;
}

bool ParserKnowsEncoding(const std::string& name) {
  xmlCharEncodingHandler* handler = xmlFindCharEncodingHandler(name.c_str());
  if (handler == nullptr) return false;
  xmlCharEncCloseFunc(handler);
  return true;
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Control characters count as blanks: a title goes into line-based project files.
std::string CollapseBlanks(std::string_view text) {
  std::string out;
  bool pending_blank = false;
  for (const char c : text) {
    if (IsControl(c) || c == ' ') {
      pending_blank = !out.empty();
      continue;
    }
    if (pending_blank) out += ' ';
    pending_blank = false;
    out += c;
  }
  return out;
}

std::string TextOf(const xmlChar* text) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

bool NameIs(const xmlNode* node, const char* name) {
  return xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

XmlText Attribute(xmlNode* node, const char* name) {
  return XmlText(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
}

void Visit(xmlNode* node, PageFacts& facts) {
  if (NameIs(node, "title")) {
    if (facts.title) return;
    XmlText content(xmlNodeGetContent(node));
    std::string title = CollapseBlanks(TextOf(content.get()));
    if (!title.empty()) facts.title = std::move(title);
  } else if (NameIs(node, "meta")) {
    XmlText name = Attribute(node, "name");
    if (!name || xmlStrcasecmp(name.get(), reinterpret_cast<const xmlChar*>("keywords")) != 0) {
      return;
    }
    std::string content = TextOf(Attribute(node, "content").get());
    for (char& c : content) {
      if (IsControl(c)) c = ' ';
    }
    if (!facts.keywords) {
      facts.keywords = std::move(content);
    } else if (!content.empty()) {
      if (!facts.keywords->empty()) *facts.keywords += ',';
      *facts.keywords += content;
    }
  } else if (facts.links_read && (NameIs(node, "a") || NameIs(node, "area"))) {
    if (XmlText href = Attribute(node, "href")) facts.links.push_back(TextOf(href.get()));
  }
}

// Setting up a parser costs more than parsing a page's head, so each thread keeps one. It is
// made anew now and then, so that the names it has seen cannot pile up without end.
htmlParserCtxt* ThisThreadsParser() {
  constexpr int kUsesPerParser = 1024;
  thread_local std::unique_ptr<htmlParserCtxt, ParserFree> parser;
  thread_local int uses = 0;
  if (!parser || ++uses > kUsesPerParser) {
    parser.reset(htmlNewParserCtxt());
    uses = 0;
  }
  return parser.get();
}

bool IsDocument(const xmlNode* node) {
  return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
}

// True when `text` holds "<" + `name` (ASCII case ignored) followed by a blank, "/" or ">".
bool HoldsTag(std::string_view text, std::string_view name) {
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    if (at + 1 + name.size() >= text.size()) return false;
    size_t k = 0;
    while (k < name.size() && AsciiLower(text[at + 1 + k]) == name[k])
      ++k;
    if (k < name.size()) continue;
    const char after = text[at + 1 + name.size()];
    if (after == '>' || after == '/' || kBlanks.find(after) != std::string_view::npos) return true;
  }
  return false;
}

// The part of a page that gives the same title and keywords as the whole: up to the first
// "</head" or "<body", when no title or meta tag follows there. Else the whole page.
std::string_view TitleAndKeywordsPart(std::string_view raw) {
  const size_t head_end = std::min(FindNoCase(raw, "</head"), FindNoCase(raw, "<body"));
  if (head_end == std::string_view::npos) return raw;
  const std::string_view rest = raw.substr(head_end);
  if (HoldsTag(rest, "title") || HoldsTag(rest, "meta")) return raw;
  return raw.substr(0, head_end);
}

}  // namespace

PageText DecodePageBytes(std::string_view raw) {
  if (raw.substr(0, 3) == "\xEF\xBB\xBF") return {DecodeUtf8OrWindows1252(raw.substr(3)), "UTF-8"};
  if (raw.substr(0, 2) == "\xFF\xFE") return {std::string(raw.substr(2)), "UTF-16LE"};
  if (raw.substr(0, 2) == "\xFE\xFF") return {std::string(raw.substr(2)), "UTF-16BE"};
  const std::string declared = DeclaredCharset(raw);
  if (IsWindows1252Name(declared)) return {AnsiToUtf8(raw), "UTF-8"};
  // A page cannot declare UTF-16 in ASCII bytes and be UTF-16; browsers read it as UTF-8.
  const bool utf8_like = declared.empty() || declared == "utf-8" || declared == "utf8" ||
                         declared.substr(0, 6) == "utf-16" || declared.substr(0, 5) == "utf16";
  if (!utf8_like && ParserKnowsEncoding(declared)) return {std::string(raw), declared};
  return {DecodeUtf8OrWindows1252(raw), "UTF-8"};
}

void PreparePageReading() {
  static const bool initialized = [] {
    xmlInitParser();
    return true;
  }();
  (void)initialized;
}

PageFacts ParsePage(std::string_view raw, PageParts parts) {
  PreparePageReading();

  PageFacts facts;
  facts.links_read = parts == PageParts::kAll;
  const PageText text = DecodePageBytes(facts.links_read ? raw : TitleAndKeywordsPart(raw));
  if (text.bytes.empty() || text.bytes.size() > INT_MAX) return facts;
  constexpr int kOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                           HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_COMPACT;
  std::unique_ptr<xmlDoc, DocFree> doc(htmlCtxtReadMemory(
      ThisThreadsParser(), text.bytes.data(), static_cast<int>(text.bytes.size()), nullptr,
      text.encoding.c_str(), kOptions));
  if (!doc) return facts;

  // Walks the tree without recursion, so that deep nesting cannot exhaust the stack.
  xmlNode* node = doc->children;
  while (node != nullptr) {
    if (node->type == XML_ELEMENT_NODE) {
      Visit(node, facts);
      if (node->children != nullptr) {
        node = node->children;
        continue;
      }
    }
    while (node != nullptr && node->next == nullptr) {
      node = (node->parent == nullptr || IsDocument(node->parent)) ? nullptr : node->parent;
    }
    if (node != nullptr) node = node->next;
  }
  return facts;
}

Result<std::string> ReadFileHead(const std::filesystem::path& path, size_t limit) {
  Result<FileHead> head = ReadRegularFileHead(path, limit);
  if (!head.ok()) return head.error();
  return std::move(head->bytes);
}

Result<PageFacts> ReadPage(const std::filesystem::path& path, PageParts parts, FileStamp* stamp) {
  Result<FileHead> head = ReadRegularFileHead(path, kMaxPageBytes);
  if (!head.ok()) return head.error();
  if (stamp != nullptr) *stamp = head->stamp;
  return ParsePage(head->bytes, parts);
}

}  // namespace corvina::sitehost
