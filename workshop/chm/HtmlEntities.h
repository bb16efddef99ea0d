#pragma once

#include <cstdint>
#include <string_view>

namespace corvina::chm {

// The code point of an HTML character entity name ("eacute" -> 0xE9), HTML 4 names and "apos",
// compared exactly (names are case-sensitive); -1 for an unknown name.
int32_t LookupHtmlEntity(std::string_view name);

// The code point a numeric character reference stands for, as browsers read it: the C1 range
// 0x80-0x9F as Windows-1252, zero, surrogates and values beyond Unicode as U+FFFD.
uint32_t NumericHtmlEntity(uint64_t value);

}  // namespace corvina::chm
