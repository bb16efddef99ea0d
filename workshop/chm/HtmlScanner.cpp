#include "workshop/chm/HtmlScanner.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "platform/TextEncoding.h"

namespace corvina::chm {
namespace {

constexpr size_t kNpos = std::string_view::npos;

bool EqualsLower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (AsciiLower(text[i]) != lower[i]) return false;
  }
  return true;
}

bool IsRawTextElement(std::string_view name) {
  return name == "script" || name == "style" || name == "title" || name == "textarea";
}

// A reference to NUL, beyond U+10FFFF or to a surrogate reads as U+FFFD.
void AppendReference(std::string& out, uint32_t code) {
  corvina::AppendUtf8(out, code == 0 ? 0xFFFD : code);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Lexer {
 public:
  Lexer(std::string_view page, HtmlVisitor& visitor) : page_(page), visitor_(visitor) {
    names_.reserve(256);
  }

  void Run() {
    size_t text_start = 0;
    size_t at = 0;
    size_t n = page_.size();
    while (at < n) {
      const void* found = std::memchr(page_.data() + at, '<', n - at);
      if (found == nullptr) break;
      const size_t lt = static_cast<size_t>(static_cast<const char*>(found) - page_.data());
      const char next = lt + 1 < n ? page_[lt + 1] : '\0';
      const bool end_tag = next == '/' && lt + 2 < n && IsAsciiLetter(page_[lt + 2]);
      if (IsAsciiLetter(next) || end_tag) {
        const size_t after = ReadTag(lt, end_tag);
        if (after == kNpos) {  // cut off by the end of the page: dropped
          n = lt;
          break;
        }
        EmitText(text_start, lt);
        visitor_.Tag(tag_);
        at = text_start = after;
        if (!tag_.end && !tag_.self_closing && IsRawTextElement(tag_.name)) {
          at = text_start = SkipRawText(after);
        }
        continue;
      }
      if (next == '!' || next == '?' || next == '/') {
        EmitText(text_start, lt);
        at = text_start = SkipMarkupDeclaration(lt);
        continue;
      }
      at = lt + 1;  // a "<" that starts no tag is text
    }
    EmitText(text_start, n);
  }

 private:
  void EmitText(size_t from, size_t to) {
    if (to > from) visitor_.Text(page_.substr(from, to - from));
  }

  // Reads the tag whose "<" is at `lt` into tag_; returns the position after its ">", or npos
  // when the page ends first.
  size_t ReadTag(size_t lt, bool end_tag) {
    const size_t n = page_.size();
    size_t i = lt + (end_tag ? 2 : 1);
    names_.clear();
    spans_.clear();
    const size_t name_start = i;
    while (i < n && !IsHtmlSpace(page_[i]) && page_[i] != '/' && page_[i] != '>')
      names_ += AsciiLower(page_[i++]);
    const size_t name_length = i - name_start;
    bool self_closing = false;
    for (;;) {
      while (i < n && (IsHtmlSpace(page_[i]) || page_[i] == '/')) {
        self_closing = page_[i] == '/' && i + 1 < n && page_[i + 1] == '>';
        ++i;
      }
      if (i >= n) return kNpos;
      if (page_[i] == '>') break;
      self_closing = false;
      // The attribute's name; a leading "=" belongs to it.
      const size_t name_at = names_.size();
      names_ += AsciiLower(page_[i++]);
      while (i < n && !IsHtmlSpace(page_[i]) && page_[i] != '/' && page_[i] != '>' &&
             page_[i] != '=') {
        names_ += AsciiLower(page_[i++]);
      }
      Span span{name_at, names_.size() - name_at, 0, 0};
      size_t j = i;
      while (j < n && IsHtmlSpace(page_[j]))
        ++j;
      if (j < n && page_[j] == '=') {
        ++j;
        while (j < n && IsHtmlSpace(page_[j]))
          ++j;
        if (j >= n) return kNpos;
        if (page_[j] == '"' || page_[j] == '\'') {
          const size_t close = page_.find(page_[j], j + 1);
          if (close == kNpos) return kNpos;
          span.value_at = j + 1;
          span.value_length = close - j - 1;
          i = close + 1;
        } else {
          span.value_at = j;
          while (j < n && !IsHtmlSpace(page_[j]) && page_[j] != '>')
            ++j;
          span.value_length = j - span.value_at;
          i = j;
        }
      }
      spans_.push_back(span);
    }
    attributes_.clear();
    if (!end_tag) {
      for (const Span& span : spans_) {
        attributes_.push_back({std::string_view(names_).substr(span.name_at, span.name_length),
                               page_.substr(span.value_at, span.value_length)});
      }
    }
    tag_.name = std::string_view(names_).substr(0, name_length);
    tag_.end = end_tag;
    tag_.self_closing = self_closing;
    tag_.attributes = attributes_;
    return i + 1;
  }

  // The content of a raw-text element from `from` to its end tag (or to the end of the page),
  // given to the visitor; returns where the end tag starts.
  size_t SkipRawText(size_t from) {
    const std::string element(tag_.name);
    const size_t n = page_.size();
    size_t at = from;
    for (;;) {
      const size_t lt = page_.find("</", at);
      if (lt == kNpos) {
        at = n;
        break;
      }
      const size_t after = lt + 2 + element.size();
      if (after <= n && EqualsLower(page_.substr(lt + 2, element.size()), element) &&
          (after == n || IsHtmlSpace(page_[after]) || page_[after] == '>' || page_[after] == '/')) {
        at = lt;
        break;
      }
      at = lt + 2;
    }
    if (at > from) visitor_.RawText(element, page_.substr(from, at - from));
    return at;
  }

  // Skips a comment, a doctype, a processing instruction or another "<!"/"<?"/"</" construct
  // that is no tag; the text of a CDATA section goes to the visitor. Returns the position after
  // it.
  size_t SkipMarkupDeclaration(size_t lt) {
    const size_t n = page_.size();
    const std::string_view rest = page_.substr(lt);
    if (rest.starts_with("<!--")) {
      // "<!-->" and "<!--->" close at once.
      if (rest.substr(4, 1) == ">") return lt + 5;
      if (rest.substr(4, 2) == "->") return lt + 6;
      const size_t close = page_.find("-->", lt + 4);
      return close == kNpos ? n : close + 3;
    }
    if (rest.starts_with("<![CDATA[")) {
      const size_t close = page_.find("]]>", lt + 9);
      const size_t end = close == kNpos ? n : close;
      if (end > lt + 9) visitor_.Text(page_.substr(lt + 9, end - lt - 9));
      return close == kNpos ? n : close + 3;
    }
    const size_t close = page_.find('>', lt + 1);
    return close == kNpos ? n : close + 1;
  }

  struct Span {
    size_t name_at, name_length, value_at, value_length;
  };

  std::string_view page_;
  HtmlVisitor& visitor_;
  std::string names_;  // the tag's name, then its attributes' names, lower-cased
  std::vector<Span> spans_;
  std::vector<HtmlAttribute> attributes_;
  HtmlTag tag_;
};

// Decodes one CSS escape at css[at] == '\\'; returns the position after it.
size_t CssEscape(std::string_view css, size_t at, std::string& out) {
  size_t i = at + 1;
  if (i >= css.size()) return i;
  uint32_t code = 0;
  size_t digits = 0;
  while (i < css.size() && digits < 6 && HexValue(css[i]) >= 0) {
    code = code * 16 + static_cast<uint32_t>(HexValue(css[i]));
    ++i;
    ++digits;
  }
  if (digits == 0) {
    if (css[i] != '\n') out += css[i];  // an escaped line end continues the string
    return i + 1;
  }
  if (i < css.size() && IsHtmlSpace(css[i])) ++i;
  AppendReference(out, code);
  return i;
}

// Reads a CSS string whose quote is at `at`; returns the position after its closing quote.
size_t CssString(std::string_view css, size_t at, std::string& out) {
  const char quote = css[at];
  size_t i = at + 1;
  while (i < css.size() && css[i] != quote) {
    if (css[i] == '\\') {
      i = CssEscape(css, i, out);
    } else if (css[i] == '\n') {
      return i;  // an unclosed string ends at its line
    } else {
      out += css[i++];
    }
  }
  return i < css.size() ? i + 1 : i;
}

size_t SkipCssSpaceAndComments(std::string_view css, size_t i) {
  for (;;) {
    while (i < css.size() && IsHtmlSpace(css[i]))
      ++i;
    if (css.substr(i, 2) != "/*") return i;
    const size_t close = css.find("*/", i + 2);
    i = close == kNpos ? css.size() : close + 2;
  }
}

// Reads the address of "url(" whose content starts at `i`; returns the position after ")".
size_t CssUrlFunction(std::string_view css, size_t i, std::string& url) {
  const size_t n = css.size();
  i = SkipCssSpaceAndComments(css, i);
  if (i < n && (css[i] == '"' || css[i] == '\'')) {
    i = CssString(css, i, url);
    const size_t close = css.find(')', i);
    return close == kNpos ? n : close + 1;
  }
  while (i < n && css[i] != ')') {
    if (css[i] == '\\') {
      i = CssEscape(css, i, url);
    } else {
      url += css[i++];
    }
  }
  while (!url.empty() && IsHtmlSpace(url.back()))
    url.pop_back();
  return i < n ? i + 1 : n;
}

bool IsCssNameChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

const HtmlAttribute* HtmlTag::Find(std::string_view attribute) const {
  for (const HtmlAttribute& candidate : attributes) {
    if (candidate.name == attribute) return &candidate;
  }
  return nullptr;
}

void ScanHtml(std::string_view page, HtmlVisitor& visitor) {
  Lexer(page, visitor).Run();
}

std::string DecodeHtmlReferences(std::string_view text) {
  if (text.find('&') == kNpos) return std::string(text);
  static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
      {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"},
  };
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    size_t j = i + 1;
    if (j < text.size() && text[j] == '#') {
      const bool hex = j + 1 < text.size() && (text[j + 1] == 'x' || text[j + 1] == 'X');
      j += hex ? 2 : 1;
      uint32_t code = 0;
      const size_t digits_at = j;
      while (j < text.size() &&
             (hex ? HexValue(text[j]) >= 0 : (text[j] >= '0' && text[j] <= '9'))) {
        if (code <= 0x10FFFF)
          code = code * (hex ? 16 : 10) + static_cast<uint32_t>(HexValue(text[j]));
        ++j;
      }
      if (j == digits_at) {
        out += text[i++];
        continue;
      }
      if (j < text.size() && text[j] == ';') ++j;
      AppendReference(out, code);
      i = j;
      continue;
    }
    bool decoded = false;
    for (const auto& [name, value] : kNamed) {
      if (text.substr(j, name.size()) == name) {
        const size_t after = j + name.size();
        if (after < text.size() && text[after] == ';') {
          out += value;
          i = after + 1;
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += text[i++];
  }
  return out;
}

namespace internal {

size_t NextCssUrl(std::string_view css, size_t at, std::string& url, bool& imported) {
  size_t i = at;
  const size_t n = css.size();
  while (i < n) {
    const char c = css[i];
    if (c == '/' && i + 1 < n && css[i + 1] == '*') {
      const size_t close = css.find("*/", i + 2);
      i = close == kNpos ? n : close + 2;
    } else if (c == '"' || c == '\'') {
      std::string ignored;
      i = CssString(css, i, ignored);
    } else if (c == '\\') {
      i += 2;
    } else if (c == '@' && EqualsLower(css.substr(i + 1, 6), "import") &&
               (i + 7 >= n || !IsCssNameChar(css[i + 7]))) {
      i = SkipCssSpaceAndComments(css, i + 7);
      url.clear();
      imported = true;
      if (i < n && (css[i] == '"' || css[i] == '\'')) return CssString(css, i, url);
      if (EqualsLower(css.substr(i, 4), "url(")) return CssUrlFunction(css, i + 4, url);
    } else if ((c == 'u' || c == 'U') && EqualsLower(css.substr(i, 4), "url(") &&
               (i == 0 || !IsCssNameChar(css[i - 1]))) {
      url.clear();
      imported = false;
      return CssUrlFunction(css, i + 4, url);
    } else {
      ++i;
    }
  }
  return kNpos;
}

}  // namespace internal

}  // namespace corvina::chm
