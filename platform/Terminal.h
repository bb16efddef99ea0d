#pragma once

#include <cstdio>
#include <filesystem>

namespace corvina {

// True when the stream is a terminal (a user may answer, and a line may be redrawn in place).
bool IsTerminal(std::FILE* stream);
// True when the file exists and this process may run it.
bool IsRunnable(const std::filesystem::path& program);

}  // namespace corvina
