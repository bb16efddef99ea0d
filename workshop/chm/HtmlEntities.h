#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvina::chm {

// The code point of an HTML character entity name ("eacute" -> 0xE9), HTML 4 names and "apos",
// compared exactly (names are case-sensitive); -1 for an unknown name.
int32_t LookupHtmlEntity(std::string_view name);

// The code point a numeric character reference stands for, as browsers read it: the C1 range
// 0x80-0x9F as Windows-1252, zero, surrogates and values beyond Unicode as U+FFFD.
uint32_t NumericHtmlEntity(uint64_t value);

// The character reference at text[at] (an "&"), as browsers read one: numeric ("&#233;",
// "&#xE9;") or a name above ("&eacute;"), the ";" optional. Its code point and where it ends;
// nothing when the "&" starts none (a bare "&", "&#" without digits, an unknown name).
struct HtmlReference {
  uint32_t code_point;
  size_t end;
};
std::optional<HtmlReference> ReadHtmlReference(std::string_view text, size_t at);

}  // namespace corvina::chm
