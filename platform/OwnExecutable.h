#pragma once

#include <filesystem>

namespace corvina {

// The folder of the running program (/proc/self/exe), where its sibling tools live; empty when
// it cannot be read.
std::filesystem::path OwnExecutableFolder();

// The folder of the program or shared module that holds this code: the add-in's own folder,
// whether it is built into a program or loaded by a host from a module. Falls back to
// OwnExecutableFolder().
std::filesystem::path OwnModuleFolder();

}  // namespace corvina
