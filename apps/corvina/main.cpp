#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "apps/cli/CorvinaApp.h"

int main(int argc, char** argv) {
  try {
    return corvina::cli::RunCorvina(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Corvina: internal error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Corvina: internal error\n");
  }
  return 70;
}
