#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace corvina {

// Name rules shared by every registry store, so that all of them accept, refuse and compare
// names alike.

bool IsPredefinedRoot(uint32_t root);

// Splits a key path at "\" into its elements. Refuses (kRegErrorInvalidParameter) a NUL, a
// leading "\", an empty element ("a\\b") and an element longer than kMaxKeyNameLength
// characters; a single trailing "\" is dropped. The empty path gives no elements (the root).
Result<std::vector<std::string>> SplitKeyPath(std::string_view key);

// Refuses a value name holding a NUL or longer than kMaxValueNameLength characters.
Status CheckValueName(std::string_view name);

// The form in which names compare: case-folded as Windows does for the Latin, Greek and
// Cyrillic letters. Other bytes, and bytes that are not UTF-8, stay as they are.
std::string FoldRegistryName(std::string_view name);

// Lower case of one code point (itself when it has none in the folded ranges).
char32_t FoldCodePoint(char32_t c);

}  // namespace corvina
