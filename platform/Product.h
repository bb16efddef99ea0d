#pragma once

#include <string_view>

namespace corvina {

// The caption of every message box that has no title of its own, and the application name of
// the settings store.
inline constexpr std::string_view kProductName = "Corvina";

}  // namespace corvina
