#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace corvina::sitehost {

// A control character: below U+0020, or DEL.
inline bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}
// The HTML parser's blanks; a form feed is not one of them.
inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
// A character of an element's name as the HTML parser reads it; the name ends at any other.
inline bool IsNameChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '_' || c == '.';
}

// Text that the parser would keep as it stands: no entity, and no character it drops
// (controls other than blanks, U+FFFE, U+FFFF). A carriage return could be folded with the
// line feed after it, which only a text whose blanks are collapsed may ignore.
bool IsVerbatim(std::string_view text, bool blanks_collapsed);

// A text or attribute value as the parser gives it: verbatim text (as above) with character
// references ("&#8212;", "&#x2014;") and the commonest named ones (amp, lt, gt, quot, nbsp)
// decoded. nullopt when the parser could read it otherwise.
std::optional<std::string> DecodedText(std::string_view text, bool blanks_collapsed);

}  // namespace corvina::sitehost
