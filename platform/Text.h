#pragma once

#include <string_view>

namespace corvina {

// The text without any of `blanks` at either end.
std::string_view Trim(std::string_view text, std::string_view blanks = " \t");
// Whether the two texts are equal when ASCII letters are compared without their case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace corvina
