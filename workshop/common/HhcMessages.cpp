#include "workshop/common/HhcMessages.h"

namespace corvina::workshop {

bool IsError(HhcCode code) {
  return static_cast<int>(code) >= 6000;
}

std::string FormatMessage(HhcCode code, std::string_view text) {
  return "HHC" + std::to_string(static_cast<int>(code)) +
         (IsError(code) ? ": Error: " : ": Warning: ") + std::string(text);
}

}  // namespace corvina::workshop
