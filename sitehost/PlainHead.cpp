#include "sitehost/PlainHead.h"

#include <span>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "sitehost/PlainText.h"

namespace corvina::sitehost {
namespace {

// More start tags than this and the parser's own limits could come into play.
constexpr int kMaxTags = 200;

// The parser reads at most this many characters of a name and the rest as another name.
constexpr size_t kMaxNameSize = 99;

// A whole page is read while fewer elements than this are open. The parser stops at 256 open
// elements, and it can hold four more than are counted here: html, head and body, which it
// adds or drops on its own, and a paragraph it opens around stray text.
constexpr size_t kMaxOpenElements = 240;

// A page longer than this could hold a text that the parser stops at (10,000,000 bytes).
constexpr size_t kMaxPlainPageSize = 3'000'000;

bool StartsNoCase(std::string_view text, size_t at, std::string_view lower_word) {
  if (text.size() - at < lower_word.size()) return false;
  for (size_t k = 0; k < lower_word.size(); ++k) {
    if (AsciiLower(text[at + k]) != lower_word[k]) return false;
  }
  return true;
}

// True when `text` is `lower_word` but for ASCII case.
bool EqualsNoCase(std::string_view text, std::string_view lower_word) {
  return text.size() == lower_word.size() && StartsNoCase(text, 0, lower_word);
}

// More attributes than this on one tag, and the markup is not plain.
constexpr size_t kMaxAttributes = 32;

struct Attribute {
  std::string_view name;  // as written
  std::optional<std::string_view> value;
};

// The elements the parser closes as soon as they start.
bool IsEmptyElement(std::string_view name) {
  constexpr std::string_view kEmpty[] = {"area", "base",  "basefont", "br",   "col",  "frame", "hr",
                                         "img",  "input", "isindex",  "link", "meta", "param"};
  for (const std::string_view empty : kEmpty) {
    if (EqualsNoCase(name, empty)) return true;
  }
  return false;
}

// Reads a head, or with `whole_page` a whole page and its links. Over a whole page it counts
// the elements open: each start tag that the parser keeps open opens one, and an end tag
// closes one only when it ends the last one counted. The parser closes at least those, so it
// never holds more than the count and the few elements it adds itself.
class Scanner {
 public:
  Scanner(std::string_view text, bool whole_page) : text_(text), whole_page_(whole_page) {
    facts_.links_read = whole_page;
  }

  std::optional<PageFacts> Run() {
    for (const char c : text_) {
      if (IsControl(c) && !IsBlank(c)) return std::nullopt;
    }
    while (at_ < text_.size()) {
      const size_t open = text_.find('<', at_);
      if (open == std::string_view::npos) break;
      at_ = open;
      if (!Markup()) return std::nullopt;
    }
    return std::move(facts_);
  }

 private:
  // One construct starting at "<"; false when it is not plain.
  bool Markup() {
    if (text_.compare(at_, 4, "<!--") == 0) return Comment();
    if (StartsNoCase(text_, at_, "<!doctype")) return SkipTo(at_ + 9);
    if (text_.compare(at_, 2, "<?") == 0) {
      return at_ + 2 < text_.size() && IsAsciiLetter(text_[at_ + 2]) && SkipTo(at_ + 2);
    }
    if (text_.compare(at_, 2, "</") == 0) return EndTag();
    if (at_ + 1 < text_.size() && IsAsciiLetter(text_[at_ + 1])) return StartTag();
    return false;
  }

  // Skips to just after the first ">" from `from`, which must not lie inside quotes; no "<"
  // may come before it.
  bool SkipTo(size_t from) {
    char quote = 0;
    for (size_t i = from; i < text_.size(); ++i) {
      const char c = text_[i];
      if (c == '<' || (c == '>' && quote != 0)) return false;
      if (quote != 0) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        at_ = i + 1;
        return true;
      }
    }
    return false;
  }

  bool Comment() {
    const size_t body = at_ + 4;
    if (body < text_.size() && (text_[body] == '>' || text_.compare(body, 2, "->") == 0)) {
      return false;
    }
    const size_t end = text_.find("--", body);
    if (end == std::string_view::npos || text_.compare(end, 3, "-->") != 0) return false;
    at_ = end + 3;
    return true;
  }

  // A name; empty when there is none or it is longer than the parser reads in one.
  std::string_view Name() {
    const size_t start = at_;
    while (at_ < text_.size() && IsNameChar(text_[at_]))
      ++at_;
    if (at_ - start > kMaxNameSize) return {};
    return text_.substr(start, at_ - start);
  }

  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_]))
      ++at_;
  }

  // "</name>" with blanks allowed before ">".
  bool EndTag() {
    at_ += 2;
    if (at_ >= text_.size() || !IsAsciiLetter(text_[at_])) return false;
    const std::string_view name = Name();
    if (name.empty()) return false;
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != '>') return false;
    ++at_;
    if (!open_.empty() && EqualsIgnoringCase(open_.back(), name)) open_.pop_back();
    return true;
  }

  bool StartTag() {
    if (++tags_ > kMaxTags && !whole_page_) return false;
    ++at_;
    const std::string_view name = Name();
    if (name.empty()) return false;
    // The parser drops a prefix from an element's name ("x:title" is a title).
    if (name.find(':') != std::string_view::npos) return false;
    Attribute* const attributes = attributes_;
    size_t count = 0;
    bool self_closed = false;
    for (;;) {
      const size_t before = at_;
      SkipBlanks();
      if (at_ >= text_.size()) return false;
      if (text_[at_] == '>') {
        ++at_;
        break;
      }
      if (text_.compare(at_, 2, "/>") == 0) {
        at_ += 2;
        self_closed = true;
        break;
      }
      // Attributes are set apart by blanks.
      if (at_ == before || !(IsAsciiLetter(text_[at_]) || text_[at_] == '_' || text_[at_] == ':')) {
        return false;
      }
      if (count == kMaxAttributes) return false;
      Attribute& attribute = attributes[count];
      attribute = Attribute{Name(), std::nullopt};
      if (attribute.name.empty()) return false;
      for (size_t i = 0; i < count; ++i) {
        if (EqualsIgnoringCase(attributes[i].name, attribute.name)) return false;
      }
      SkipBlanks();
      if (at_ < text_.size() && text_[at_] == '=') {
        ++at_;
        SkipBlanks();
        if (!Value(attribute.value)) return false;
      }
      ++count;
    }
    if (EqualsNoCase(name, "title")) return self_closed ? false : Title();
    if (EqualsNoCase(name, "meta")) return Meta({attributes, count});
    if (EqualsNoCase(name, "script")) return self_closed || RawText("script");
    if (EqualsNoCase(name, "style")) return self_closed || RawText("style");
    // The parser reads these differently from one version to the next.
    if (EqualsNoCase(name, "plaintext") || EqualsNoCase(name, "xmp") ||
        EqualsNoCase(name, "textarea")) {
      return false;
    }
    if (!whole_page_) return true;
    if ((EqualsNoCase(name, "a") || EqualsNoCase(name, "area")) && !Link({attributes, count})) {
      return false;
    }
    if (self_closed || IsEmptyElement(name) || EqualsNoCase(name, "html") ||
        EqualsNoCase(name, "head") || EqualsNoCase(name, "body")) {
      return true;
    }
    open_.push_back(name);
    return open_.size() < kMaxOpenElements;
  }

  bool Link(std::span<const Attribute> attributes) {
    for (const Attribute& attribute : attributes) {
      if (!EqualsNoCase(attribute.name, "href")) continue;
      if (!attribute.value) {
        facts_.links.emplace_back();
        break;
      }
      std::optional<std::string> href = DecodedText(*attribute.value, false);
      if (!href) return false;
      facts_.links.push_back(std::move(*href));
      break;
    }
    return true;
  }

  bool Value(std::optional<std::string_view>& value) {
    if (at_ >= text_.size()) return false;
    const char quote = text_[at_];
    if (quote == '"' || quote == '\'') {
      const size_t end = text_.find(quote, at_ + 1);
      if (end == std::string_view::npos) return false;
      value = text_.substr(at_ + 1, end - at_ - 1);
      at_ = end + 1;
      return true;
    }
    const size_t start = at_;
    while (at_ < text_.size() && !IsBlank(text_[at_]) && text_[at_] != '>') {
      const char c = text_[at_];
      if (c == '"' || c == '\'' || c == '<' || c == '=' || c == '`') return false;
      ++at_;
    }
    if (at_ == start) return false;
    value = text_.substr(start, at_ - start);
    return true;
  }

  // True when "</" + `name` (any case) at `at` is followed by a blank or ">".
  bool IsEndTagOf(std::string_view name, size_t at) const {
    if (text_.compare(at, 2, "</") != 0 || !StartsNoCase(text_, at + 2, name)) return false;
    const size_t after = at + 2 + name.size();
    return after < text_.size() && (IsBlank(text_[after]) || text_[after] == '>');
  }

  bool Title() {
    const size_t end = text_.find('<', at_);
    if (end == std::string_view::npos) return false;
    const std::optional<std::string> content = DecodedText(text_.substr(at_, end - at_), true);
    if (!content) return false;
    at_ = end;
    if (!IsEndTagOf("title", at_) || !EndTag()) return false;
    if (!facts_.title) {
      std::string title = CollapseBlanks(*content);
      if (!title.empty()) facts_.title = std::move(title);
    }
    return true;
  }

  bool Meta(std::span<const Attribute> attributes) {
    const Attribute* name = nullptr;
    const Attribute* content = nullptr;
    for (const Attribute& attribute : attributes) {
      if (EqualsNoCase(attribute.name, "name")) name = &attribute;
      if (EqualsNoCase(attribute.name, "content")) content = &attribute;
    }
    if (name == nullptr) return true;
    if (!name->value || !IsVerbatim(*name->value, false)) return false;
    if (name->value->size() != 8 || !StartsNoCase(*name->value, 0, "keywords")) return true;
    std::string keywords;
    if (content != nullptr) {
      if (!content->value || !IsVerbatim(*content->value, false)) return false;
      keywords = *content->value;
    }
    AddKeywords(facts_, std::move(keywords));
    return true;
  }

  // A script or style element's text, up to its end tag. The parser reads some tags inside
  // such text and not others, so it may hold none.
  bool RawText(std::string_view name) {
    const size_t end = text_.find('<', at_);
    if (end == std::string_view::npos || !IsEndTagOf(name, end)) return false;
    at_ = end;
    return EndTag();
  }

  std::string_view text_;
  const bool whole_page_;
  size_t at_ = 0;
  int tags_ = 0;
  PageFacts facts_;
  std::vector<std::string_view> open_;  // the names of the elements counted open
  // The attributes of the start tag being read; made once, as the head's tags are many.
  Attribute attributes_[kMaxAttributes];
};

}  // namespace

void AddKeywords(PageFacts& facts, std::string keywords) {
  for (char& c : keywords) {
    if (IsControl(c)) c = ' ';
  }
  if (!facts.keywords) {
    facts.keywords = std::move(keywords);
  } else if (!keywords.empty()) {
    if (!facts.keywords->empty()) *facts.keywords += ',';
    *facts.keywords += keywords;
  }
}

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

std::optional<PageFacts> ReadPlainHead(std::string_view text) {
  return Scanner(text, false).Run();
}

std::optional<PageFacts> ReadPlainPage(std::string_view text) {
  if (text.size() > kMaxPlainPageSize) return std::nullopt;
  return Scanner(text, true).Run();
}

}  // namespace corvina::sitehost
