#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvina::workshop {

// The symbolic links below the folder (folder links are not followed) whose real path leaves
// it, as "/"-separated names relative to the folder, sorted. A compiler that follows the links
// of pages would otherwise store files from anywhere on the system.
std::vector<std::string> LinksLeavingFolder(const std::filesystem::path& folder);

}  // namespace corvina::workshop
