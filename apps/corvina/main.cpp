#include <string>
#include <vector>

#include "apps/cli/CorvinaApp.h"
#include "platform/Product.h"

int main(int argc, char** argv) {
  return corvina::RunMain(
      [](int count, char** args) {
        return corvina::cli::RunCorvina(std::vector<std::string>(args + 1, args + count));
      },
      argc, argv, 70);
}
