#pragma once

#include <string_view>

namespace corvina {

// Where the documents show a Windows path ("\" and ".exe"), the code builds the same shape
// with these.
inline constexpr std::string_view kPathSeparator = "/";
inline constexpr char kPathSeparatorChar = '/';
inline constexpr std::string_view kExecutableSuffix = "";
inline constexpr std::string_view kFileUrlPrefix = "file://";

}  // namespace corvina
