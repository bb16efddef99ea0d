#pragma once

#include <string_view>

namespace corvina {

// Where the help compiler's folder is recorded: the "InstallDir" value of this key of the
// current user's registry.
inline constexpr std::string_view kWorkshopKey = "Software\\Microsoft\\HTML Help Workshop";
inline constexpr std::string_view kInstallDir = "InstallDir";

}  // namespace corvina
