#include "platform/Terminal.h"

#include <unistd.h>

namespace corvina {

bool IsTerminal(std::FILE* stream) {
  return ::isatty(::fileno(stream)) == 1;
}

bool IsRunnable(const std::filesystem::path& program) {
  return ::access(program.c_str(), X_OK) == 0;
}

}  // namespace corvina
