#pragma once

#include <filesystem>

namespace corvina {

// The folder of the running program (/proc/self/exe), where its sibling tools live; empty when
// it cannot be read.
std::filesystem::path OwnExecutableFolder();

}  // namespace corvina
