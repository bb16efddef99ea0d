#pragma once

#include <string>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// Reads a saved truth value as the settings hold them: "True"/"False" in any case, or a number
// (non-zero is true). Anything else is a type mismatch (error 13).
Result<bool> ParseBoolean(std::string_view sText);
// Reads a saved window measure: a decimal number.
Result<float> ParseNumber(std::string_view sText);
// Writes a measure as decimal text, without a fraction when it has none ("1234", "1234.5").
std::string NumberText(float fValue);
inline std::string BooleanText(bool bValue) {
  return bValue ? "True" : "False";
}

}  // namespace corvina
