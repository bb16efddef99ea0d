#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "apps/cli/CorvinaApp.h"
#include "platform/Product.h"

int main(int argc, char** argv) {
  try {
    return corvina::cli::RunCorvina(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    corvina::PrintMessage(std::string("internal error: ") + e.what());
  } catch (...) {
    corvina::PrintMessage("internal error");
  }
  return 70;
}
