#include "sitehost/PlainHead.h"

#include <span>
#include <utility>

#include "platform/Text.h"

namespace corvina::sitehost {
namespace {

// More start tags than this and the parser's own limits could come into play.
constexpr int kMaxTags = 200;

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// The parser's blanks; a form feed is not one of them.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsNameChar(char c) {
  return IsLetter(c) || (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '_' || c == '.';
}

bool StartsNoCase(std::string_view text, size_t at, std::string_view lower_word) {
  if (text.size() - at < lower_word.size()) return false;
  for (size_t k = 0; k < lower_word.size(); ++k) {
    if (AsciiLower(text[at + k]) != lower_word[k]) return false;
  }
  return true;
}

// Text that the parser would keep as it stands: no entity, and no character it drops
// (controls other than blanks, U+FFFE, U+FFFF). A carriage return could be folded with the
// line feed after it, which only a text whose blanks are collapsed may ignore.
bool IsVerbatim(std::string_view text, bool blanks_collapsed) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&' || (c == '\r' && !blanks_collapsed)) return false;
    if (IsControl(c) && !IsBlank(c)) return false;
    if (static_cast<unsigned char>(c) == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
        (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
      return false;
    }
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

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

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
      return at_ + 2 < text_.size() && IsLetter(text_[at_ + 2]) && SkipTo(at_ + 2);
    }
    if (text_.compare(at_, 2, "</") == 0) return EndTag();
    if (at_ + 1 < text_.size() && IsLetter(text_[at_ + 1])) return StartTag();
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

  std::string_view Name() {
    const size_t start = at_;
    while (at_ < text_.size() && IsNameChar(text_[at_]))
      ++at_;
    return text_.substr(start, at_ - start);
  }

  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_]))
      ++at_;
  }

  // "</name>" with blanks allowed before ">".
  bool EndTag() {
    at_ += 2;
    if (at_ >= text_.size() || !IsLetter(text_[at_])) return false;
    Name();
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != '>') return false;
    ++at_;
    return true;
  }

  bool StartTag() {
    if (++tags_ > kMaxTags) return false;
    ++at_;
    const std::string_view name = Name();
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
      if (at_ == before || !(IsLetter(text_[at_]) || text_[at_] == '_' || text_[at_] == ':')) {
        return false;
      }
      if (count == kMaxAttributes) return false;
      Attribute& attribute = attributes[count];
      attribute = Attribute{Name(), std::nullopt};
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
    return !EqualsNoCase(name, "plaintext") && !EqualsNoCase(name, "xmp") &&
           !EqualsNoCase(name, "textarea");
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
    const std::string_view content = text_.substr(at_, end - at_);
    if (!IsVerbatim(content, true)) return false;
    at_ = end;
    if (!IsEndTagOf("title", at_) || !EndTag()) return false;
    if (!facts_.title) {
      std::string title = CollapseBlanks(content);
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
    for (char& c : keywords) {
      if (IsControl(c)) c = ' ';
    }
    if (!facts_.keywords) {
      facts_.keywords = std::move(keywords);
    } else if (!keywords.empty()) {
      if (!facts_.keywords->empty()) *facts_.keywords += ',';
      *facts_.keywords += keywords;
    }
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
  size_t at_ = 0;
  int tags_ = 0;
  PageFacts facts_;
  // The attributes of the start tag being read; made once, as the head's tags are many.
  Attribute attributes_[kMaxAttributes];
};

}  // namespace

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
  return Scanner(text).Run();
}

}  // namespace corvina::sitehost
