#include "sitehost/PlainText.h"

#include <cstdint>
#include <utility>

#include "platform/TextEncoding.h"

namespace corvina::sitehost {
namespace {

// A character the parser keeps when a reference gives it.
bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The value of a hexadecimal or decimal digit, or -1.
int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The character that the reference at `at` ("&#8212;", "&#x2014;", "&amp;") gives, with the
// end of the reference; nullopt for any other "&", which the parser reads in ways not followed
// here.
std::optional<std::pair<uint32_t, size_t>> ReadReference(std::string_view text, size_t at) {
  size_t i = at + 1;
  if (i < text.size() && text[i] == '#') {
    ++i;
    int base = 10;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      base = 16;
      ++i;
    }
    const size_t digits = i;
    uint32_t value = 0;
    for (; i < text.size() && i - digits < 8; ++i) {
      const int digit = DigitValue(text[i], base);
      if (digit < 0) break;
      value = value * base + digit;
    }
    if (i == digits || i >= text.size() || text[i] != ';' || !IsXmlChar(value)) {
      return std::nullopt;
    }
    return std::pair{value, i + 1};
  }
  static constexpr std::pair<std::string_view, uint32_t> kNamed[] = {
      {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"nbsp;", 0xA0}};
  for (const auto& [name, value] : kNamed) {
    if (text.compare(i, name.size(), name) == 0) return std::pair{value, i + name.size()};
  }
  return std::nullopt;
}

}  // namespace

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

std::optional<std::string> DecodedText(std::string_view text, bool blanks_collapsed) {
  std::string out;
  size_t i = 0;
  for (;;) {
    const size_t amp = text.find('&', i);
    const std::string_view run = text.substr(i, amp - i);
    if (!IsVerbatim(run, blanks_collapsed)) return std::nullopt;
    out += run;
    if (amp == std::string_view::npos) return out;
    const std::optional<std::pair<uint32_t, size_t>> reference = ReadReference(text, amp);
    if (!reference) return std::nullopt;
    AppendUtf8(out, reference->first);
    i = reference->second;
  }
}

}  // namespace corvina::sitehost
