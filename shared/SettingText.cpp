#include "shared/SettingText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/Text.h"

namespace corvina {
namespace {

Error TypeMismatch() {
  return Error{kErrTypeMismatch, "Type mismatch"};
}

}  // namespace

Result<bool> ParseBoolean(std::string_view sText) {
  const std::string_view text = Trim(sText);
  if (EqualsIgnoringCase(text, "true")) return true;
  if (EqualsIgnoringCase(text, "false")) return false;
  Result<float> number = ParseNumber(text);
  if (!number.ok()) return TypeMismatch();
  return *number != 0;
}

Result<float> ParseNumber(std::string_view sText) {
  const std::string_view text = Trim(sText);
  if (text.empty()) return TypeMismatch();
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || std::fabs(value) > 3.4e38) {
    return TypeMismatch();
  }
  return static_cast<float>(value);
}

std::string NumberText(float fValue) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, fValue);
  return std::string(buffer, result.ptr);
}

}  // namespace corvina
