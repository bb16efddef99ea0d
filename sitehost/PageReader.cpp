#include "sitehost/PageReader.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <initializer_list>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "sitehost/PageParse.h"
#include "sitehost/PlainHead.h"
#include "sitehost/PlainText.h"

namespace corvina::sitehost {
namespace {

constexpr std::string_view kBlanks = " \t\n\r\f";

// The value after `key` ("charset", "encoding"): optional blanks, "=", blanks or quotes, then
// the name. Empty when there is none.
std::string ValueAfter(std::string_view text, size_t key_end) {
  size_t i = key_end;
  while (i < text.size() && IsHtmlSpace(text[i]))
    ++i;
  if (i >= text.size() || text[i] != '=') return {};
  ++i;
  while (i < text.size() && (IsHtmlSpace(text[i]) || text[i] == '"' || text[i] == '\'')) {
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
  return AsciiLowerCase(text.substr(start, i - start));
}

// The charset a page declares in its first bytes, lower-cased; empty when none.
std::string DeclaredCharset(std::string_view raw) {
  const std::string_view head = raw.substr(0, 4096);
  if (head.substr(0, 5) == "<?xml") {
    const std::string_view prolog = head.substr(0, head.find("?>"));
    const size_t at = FindIgnoringCase(prolog, "encoding");
    if (at != std::string_view::npos) {
      std::string name = ValueAfter(prolog, at + 8);
      if (!name.empty()) return name;
    }
  }
  for (size_t at = FindIgnoringCase(head, "charset"); at != std::string_view::npos;
       at = FindIgnoringCase(head, "charset", at + 1)) {
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

// True when `text` holds "<" + one of `names` (ASCII case ignored) followed by a character that
// ends an element's name.
bool HoldsTag(std::string_view text, std::initializer_list<std::string_view> names) {
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    for (const std::string_view name : names) {
      if (at + 1 + name.size() >= text.size()) continue;
      size_t k = 0;
      while (k < name.size() && AsciiLower(text[at + 1 + k]) == name[k])
        ++k;
      if (k < name.size()) continue;
      if (!IsNameChar(text[at + 1 + name.size()])) return true;
    }
  }
  return false;
}

// True when `text` ends with a blank, an attribute name, optional blanks and "=": the parser
// skips an attribute whose name it cannot read up to the next blank or ">", quotes or not.
bool FollowsAttributeName(std::string_view text) {
  const size_t equals = text.find_last_not_of(kBlanks);
  if (equals == std::string_view::npos || equals == 0 || text[equals] != '=') return false;
  size_t at = text.find_last_not_of(kBlanks, equals - 1);
  if (at == std::string_view::npos) return false;
  const size_t name_end = at + 1;
  while (at > 0 && IsNameChar(text[at]))
    --at;
  if (at + 1 == name_end || !IsHtmlSpace(text[at])) return false;
  const char first = text[at + 1];
  return IsAsciiLetter(first) || first == '_' || first == ':';
}

// True when `text` surely ends between tags: not inside a tag or one of its quoted values, a
// comment, or the text of a title, script, style or textarea element, any of which can run
// past it. The HTML parser repairs markup inside a title or a textarea in ways that can carry
// later text into it, so such markup counts as running past the end too.
bool EndsBetweenTags(std::string_view text) {
  struct TextElement {
    std::string_view name;
    bool markup_inside;  // tags inside are plain text to the parser
  };
  static constexpr TextElement kTextElements[] = {
      {"title", false}, {"textarea", false}, {"script", true}, {"style", true}};
  auto ends_name = [&](size_t at) {
    return at < text.size() && (text[at] == '>' || text[at] == '/' || IsHtmlSpace(text[at]));
  };
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find('<', i);
    if (open == std::string_view::npos) return true;
    if (text.substr(open, 4) == "<!--") {
      const size_t close = text.find("-->", open + 4);
      if (close == std::string_view::npos) return false;
      i = close + 3;
      continue;
    }
    if (open + 1 == text.size()) return false;
    const char next = text[open + 1];
    if (!IsAsciiLetter(next) && next != '/' && next != '!' && next != '?') {
      i = open + 1;  // a "<" that starts no tag is text
      continue;
    }
    if (next == '?') {  // a processing instruction runs to the first ">", quotes or not
      const size_t end = text.find('>', open);
      if (end == std::string_view::npos || text.find('<', open + 1) < end) return false;
      i = end + 1;
      continue;
    }
    // A tag runs to the first ">" outside a quoted value, a document type to the first ">"
    // outside a quoted identifier. A quote anywhere else, or a "<" before the end, may be read
    // either way.
    const bool doctype = EqualsIgnoringCase(text.substr(open, 9), "<!doctype");
    const bool declaration = next == '!' && !doctype;
    char quote = 0;
    char last = 0;  // the last character outside quotes that is not a blank
    size_t end = open + 1;
    for (; end < text.size(); ++end) {
      const char c = text[end];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        const bool value = !doctype && last == '=' && FollowsAttributeName(text.substr(0, end));
        const bool identifier = doctype && IsHtmlSpace(text[end - 1]);
        if (declaration || !(value || identifier)) return false;
        quote = c;
      } else if (c == '>') {
        break;
      } else if (c == '<') {
        return false;
      }
      if (quote == 0 && !IsHtmlSpace(c)) last = c;
    }
    if (end >= text.size()) return false;
    i = end + 1;
    for (const TextElement& element : kTextElements) {
      if (!EqualsIgnoringCase(text.substr(open + 1, element.name.size()), element.name) ||
          IsNameChar(text[open + 1 + element.name.size()])) {
        continue;
      }
      const size_t close = FindIgnoringCase(text, "</" + std::string(element.name), i);
      if (close == std::string_view::npos || !ends_name(close + 2 + element.name.size())) {
        return false;
      }
      if (!element.markup_inside && text.substr(i, close - i).find('<') != std::string_view::npos) {
        return false;
      }
      i = close;
      break;
    }
  }
  return true;
}

// The part of a page that gives the same title and keywords as the whole: up to the first
// "</head" or "<body", when it stands between tags and no title or meta tag follows there.
// Else the whole page.
std::string_view TitleAndKeywordsPart(std::string_view raw) {
  // In UTF-16 and the 7-bit encodings that shift in and out of other character sets, the
  // bytes of "</head" can be parts of other characters.
  if (raw.substr(0, 2) == "\xFF\xFE" || raw.substr(0, 2) == "\xFE\xFF") return raw;
  const std::string declared = DeclaredCharset(raw);
  if (declared.starts_with("iso-2022") || declared.starts_with("utf-7") ||
      declared.starts_with("hz")) {
    return raw;
  }
  const size_t head_end = std::min(FindIgnoringCase(raw, "</head"), FindIgnoringCase(raw, "<body"));
  if (head_end == std::string_view::npos) return raw;
  const std::string_view head = raw.substr(0, head_end);
  // A prefixed title ("<x:title>") is a title to the parser, which can carry text from past the
  // head's end into it.
  if (!EndsBetweenTags(head) || FindIgnoringCase(head, ":title") != std::string_view::npos)
    return raw;
  const std::string_view rest = raw.substr(head_end);
  // The parser drops a prefix from an element's name, so "<x:title>" is a title too.
  if (HoldsTag(rest, {"title", "meta"}) ||
      FindIgnoringCase(rest, ":title") != std::string_view::npos ||
      FindIgnoringCase(rest, ":meta") != std::string_view::npos) {
    return raw;
  }
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
  if (text.encoding == "UTF-8") {
    std::optional<PageFacts> plain =
        facts.links_read ? ReadPlainPage(text.bytes) : ReadPlainHead(text.bytes);
    if (plain) return std::move(*plain);
  }
  return ParsePageEvents(text, parts);
}

Result<std::string> ReadFileHead(const std::filesystem::path& path, size_t limit) {
  Result<FileHead> head = ReadRegularFileHead(path, limit);
  if (!head.ok()) return head.error();
  return std::move(head->bytes);
}

Result<PageFacts> ReadPage(const FolderHandle& folder, std::string_view name, std::string_view path,
                           PageParts parts, FileStamp* stamp) {
  Result<FileHead> head = ReadRegularFileHead(folder, name, path, kMaxPageBytes);
  if (!head.ok()) return head.error();
  if (stamp != nullptr) *stamp = head->stamp;
  return ParsePage(head->bytes, parts);
}

Result<PageFacts> ReadPage(const std::filesystem::path& path, PageParts parts, FileStamp* stamp) {
  Result<FileHead> head = ReadRegularFileHead(path, kMaxPageBytes);
  if (!head.ok()) return head.error();
  if (stamp != nullptr) *stamp = head->stamp;
  return ParsePage(head->bytes, parts);
}

}  // namespace corvina::sitehost
