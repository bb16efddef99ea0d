#include "workshop/chm/ChmFullTextWords.h"

#include <algorithm>
#include <array>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "workshop/chm/HtmlEntities.h"

namespace corvina::chm {
namespace {

// Windows-1252: which bytes are letters or digits, and each byte's lower case.
struct AnsiTables {
  std::array<bool, 256> word{};
  std::array<char, 256> lower{};
};

constexpr AnsiTables MakeAnsiTables() {
  AnsiTables t;
  for (int b = 0; b < 256; ++b)
    t.lower[b] = static_cast<char>(b);
  for (int b = '0'; b <= '9'; ++b)
    t.word[b] = true;
  for (int b = 'a'; b <= 'z'; ++b)
    t.word[b] = true;
  for (int b = 'A'; b <= 'Z'; ++b) {
    t.word[b] = true;
    t.lower[b] = static_cast<char>(b + 0x20);
  }
  // f-hook, S/s caron, OE/oe, Z/z caron, Y diaeresis, ordinals, micro sign.
  for (int b : {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xAA, 0xB5, 0xBA})
    t.word[b] = true;
  for (int b = 0xC0; b <= 0xFF; ++b)
    t.word[b] = b != 0xD7 && b != 0xF7;  // not the multiplication and division signs
  for (int b = 0xC0; b <= 0xDE; ++b) {
    if (b != 0xD7) t.lower[b] = static_cast<char>(b + 0x20);
  }
  t.lower[0x8A] = static_cast<char>(0x9A);
  t.lower[0x8C] = static_cast<char>(0x9C);
  t.lower[0x8E] = static_cast<char>(0x9E);
  t.lower[0x9F] = static_cast<char>(0xFF);
  return t;
}
constexpr AnsiTables kAnsi = MakeAnsiTables();

bool IsDigit(int b) {
  return b >= '0' && b <= '9';
}

// The value after `key` ("charset", "encoding") in a declaration: key = value, quotes optional.
std::string CharsetLabel(std::string_view text, std::string_view key) {
  const std::string lowered = AsciiLowerCase(text);
  for (size_t at = lowered.find(key); at != std::string::npos; at = lowered.find(key, at + 1)) {
    size_t i = at + key.size();
    while (i < lowered.size() && IsHtmlSpace(lowered[i]))
      ++i;
    if (i >= lowered.size() || lowered[i] != '=') continue;
    ++i;
    while (i < lowered.size() &&
           (IsHtmlSpace(lowered[i]) || lowered[i] == '"' || lowered[i] == '\''))
      ++i;
    size_t end = i;
    while (end < lowered.size() &&
           (IsAsciiLetter(lowered[end]) || IsAsciiDigit(lowered[end]) || lowered[end] == '-' ||
            lowered[end] == '_' || lowered[end] == '.' || lowered[end] == ':')) {
      ++end;
    }
    if (end > i) return lowered.substr(i, end - i);
  }
  return {};
}

enum class Charset { kUtf8, kAnsi };

// The charset label a page declares (XML encoding, else <meta> charset), lower-cased; empty
// when the page starts with a UTF-8 byte-order mark or declares none.
std::string DeclaredLabel(std::string_view html) {
  if (html.starts_with("\xEF\xBB\xBF")) return {};
  constexpr size_t kDeclarationScan = 8192;
  const std::string_view head = html.substr(0, kDeclarationScan);
  std::string label;
  if (head.starts_with("<?xml")) label = CharsetLabel(head.substr(0, head.find("?>")), "encoding");
  if (label.empty())
    label = CharsetLabel(head.substr(0, FindIgnoringCase(head, "<body")), "charset");
  return label;
}

bool IsUtf8Label(std::string_view label) {
  // A page cannot declare UTF-16 in ASCII bytes and be UTF-16: browsers read it as UTF-8.
  return label == "utf-8" || label == "utf8" || label.starts_with("utf-16") ||
         label.starts_with("utf16");
}

bool IsAnsiLabel(std::string_view label) {
  for (std::string_view ansi :
       {"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1", "iso_8859-1", "iso88591",
        "latin1", "latin-1", "l1", "cp819", "ibm819", "iso-8859-15", "us-ascii", "ascii"}) {
    if (label == ansi) return true;
  }
  return false;
}

Charset DetectCharset(std::string_view html) {
  if (html.starts_with("\xEF\xBB\xBF")) return Charset::kUtf8;
  const std::string label = DeclaredLabel(html);
  if (label == "utf-8" || label == "utf8") return Charset::kUtf8;
  if (IsAnsiLabel(label)) return Charset::kAnsi;
  // Undeclared, declared UTF-16 or a charset not read here: UTF-8 when the bytes are valid
  // UTF-8, else Windows-1252.
  return IsValidUtf8(html) ? Charset::kUtf8 : Charset::kAnsi;
}

// Elements that stay inside a line of text: a word runs on across them ("<b>W</b>ord").
bool IsInline(std::string_view name) {
  static constexpr std::string_view kInline[] = {
      "a",    "abbr", "acronym", "b",  "bdi",  "bdo",   "big",  "cite",   "code",
      "data", "del",  "dfn",     "em", "font", "i",     "ins",  "kbd",    "label",
      "mark", "nobr", "q",       "s",  "samp", "small", "span", "strike", "strong",
      "sub",  "sup",  "time",    "tt", "u",    "var",   "wbr"};
  return std::binary_search(std::begin(kInline), std::end(kInline), name);
}

class WordReader {
 public:
  WordReader(std::string_view html, PageWords& out)
      : html_(html), out_(out), charset_(DetectCharset(html)) {}

  void Read() {
    ReadText(0, html_.size(), true);
    EndWord();
  }

 private:
  void ReadText(size_t begin, size_t end, bool markup);
  size_t ReadTag(size_t at);
  size_t ReadEntity(size_t at, size_t end);
  size_t FindEndTag(size_t from, std::string_view name) const;
  void Char(uint32_t code_point) { AnsiChar(UnicodeToAnsiByte(code_point)); }
  void AnsiChar(int byte);
  void Append(char lower);
  void EndWord();

  std::string_view html_;
  PageWords& out_;
  Charset charset_;
  std::string word_;
  bool in_word_ = false;
  bool too_long_ = false;
  bool digit_start_ = false;
  char pending_ = 0;  // a "." or an apostrophe that continues the word if a word character follows
  bool title_ = false;
  bool title_seen_ = false;
};

void WordReader::ReadText(size_t begin, size_t end, bool markup) {
  const std::string_view text = html_.substr(0, end);
  size_t i = begin;
  while (i < end) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      if (c == '<' && markup) {
        i = ReadTag(i);
      } else if (c == '&') {
        i = ReadEntity(i, end);
      } else {
        AnsiChar(c);
        ++i;
      }
    } else if (charset_ == Charset::kAnsi) {
      AnsiChar(c);
      ++i;
    } else {
      const int32_t code_point = DecodeUtf8At(text, i);
      Char(code_point < 0 ? 0xFFFD : static_cast<uint32_t>(code_point));
    }
  }
}

size_t WordReader::ReadTag(size_t at) {
  const size_t size = html_.size();
  size_t i = at + 1;
  if (i >= size) {
    AnsiChar('<');
    return i;
  }
  // Comments, declarations and processing instructions hold no text; like them, a comment
  // inside a word does not end it.
  if (html_[i] == '!' && html_.compare(i, 3, "!--") == 0) {
    const size_t close = html_.find("-->", at + 2);
    return close == std::string_view::npos ? size : close + 3;
  }
  if (html_[i] == '!' || html_[i] == '?') {
    const size_t close = html_.find('>', i);
    return close == std::string_view::npos ? size : close + 1;
  }
  const bool closing = html_[i] == '/';
  if (closing) ++i;
  if (i >= size || !IsAsciiLetter(html_[i])) {
    if (!closing) {
      AnsiChar('<');  // "a < b": text
      return at + 1;
    }
    const size_t close = html_.find('>', i);
    return close == std::string_view::npos ? size : close + 1;
  }
  std::string name;
  while (i < size && !IsHtmlSpace(html_[i]) && html_[i] != '/' && html_[i] != '>') {
    if (name.size() < 16) name += AsciiLower(html_[i]);
    ++i;
  }
  // Attributes: a ">" inside a quoted value does not end the tag.
  bool self_closing = false;
  while (i < size) {
    const char c = html_[i];
    if (c == '>') {
      ++i;
      break;
    }
    if (IsHtmlSpace(c)) {
      ++i;
      continue;
    }
    if (c == '/') {
      self_closing = i + 1 < size && html_[i + 1] == '>';
      ++i;
      continue;
    }
    ++i;  // the first character belongs to the name, even "="
    while (i < size && !IsHtmlSpace(html_[i]) && html_[i] != '/' && html_[i] != '>' &&
           html_[i] != '=')
      ++i;
    size_t j = i;
    while (j < size && IsHtmlSpace(html_[j]))
      ++j;
    if (j < size && html_[j] == '=') {
      ++j;
      while (j < size && IsHtmlSpace(html_[j]))
        ++j;
      if (j < size && (html_[j] == '"' || html_[j] == '\'')) {
        const size_t close = html_.find(html_[j], j + 1);
        j = close == std::string_view::npos ? size : close + 1;
      } else {
        while (j < size && !IsHtmlSpace(html_[j]) && html_[j] != '>')
          ++j;
      }
      i = j;
    }
  }
  if (!IsInline(name)) EndWord();
  if (closing || self_closing) return i;
  if (name == "script" || name == "style") return FindEndTag(i, name);
  if (name == "title" || name == "textarea" || name == "xmp") {
    // Their text is read without tags; only the first title is the page's title.
    const size_t close = FindEndTag(i, name);
    if (name != "title" || !title_seen_) {
      title_ = name == "title";
      title_seen_ = title_seen_ || title_;
      ReadText(i, close, false);
      EndWord();
      title_ = false;
    }
    return close;
  }
  return i;
}

// The "<" of the end tag "</name", or the end of the page.
size_t WordReader::FindEndTag(size_t from, std::string_view name) const {
  std::string end_tag = "</";
  end_tag += name;
  for (size_t at = FindIgnoringCase(html_, end_tag, from); at != std::string_view::npos;
       at = FindIgnoringCase(html_, end_tag, at + 1)) {
    const size_t after = at + end_tag.size();
    if (after >= html_.size() || IsHtmlSpace(html_[after]) || html_[after] == '>' ||
        html_[after] == '/') {
      return at;
    }
  }
  return html_.size();
}

size_t WordReader::ReadEntity(size_t at, size_t end) {
  const std::optional<HtmlReference> reference = ReadHtmlReference(html_.substr(0, end), at);
  if (!reference) {
    AnsiChar('&');
    return at + 1;
  }
  Char(reference->code_point);
  return reference->end;
}

void WordReader::AnsiChar(int byte) {
  if (byte >= 0 && kAnsi.word[byte]) {
    if (pending_ == '.' && !IsDigit(byte)) EndWord();
    if (pending_ == '.') Append('.');
    pending_ = 0;
    if (!in_word_) {
      in_word_ = true;
      digit_start_ = IsDigit(byte);
    }
    Append(kAnsi.lower[byte]);
    return;
  }
  if (in_word_ && pending_ == 0) {
    if (byte == '.' && digit_start_) {
      pending_ = '.';
      return;
    }
    if (byte == '\'' || byte == 0x92) {  // 0x92: right single quotation mark
      pending_ = '\'';
      return;
    }
  }
  EndWord();
}

void WordReader::Append(char lower) {
  if (word_.size() >= kMaxIndexedWordLength) {
    too_long_ = true;
    return;
  }
  word_ += lower;
}

void WordReader::EndWord() {
  if (in_word_ && !too_long_) {
    out_.words.push_back(
        {static_cast<uint32_t>(out_.text.size()), static_cast<uint8_t>(word_.size()), title_});
    out_.text += word_;
  }
  word_.clear();
  in_word_ = false;
  too_long_ = false;
  pending_ = 0;
}

}  // namespace

DeclaredCharset ReadDeclaredCharset(std::string_view html) {
  std::string label = DeclaredLabel(html);
  DeclaredCharset charset;
  charset.windows_1252 = IsAnsiLabel(label);
  if (!label.empty() && !IsUtf8Label(label) && !charset.windows_1252) {
    charset.unread = std::move(label);
  }
  return charset;
}

std::string UnreadCharset(std::string_view html) {
  return ReadDeclaredCharset(html).unread;
}

PageWords ExtractPageWords(std::string_view html) {
  PageWords words;
  WordReader(html, words).Read();
  return words;
}

}  // namespace corvina::chm
