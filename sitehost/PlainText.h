#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvina::sitehost {

// A control character: below U+0020, or DEL.
inline bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
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
