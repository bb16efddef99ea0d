#include <cstdio>
#include <iostream>
#include <string_view>

#include "platform/Product.h"
#include "workshop/hh/Decompile.h"
#include "workshop/hh/OutputFolder.h"
#include "workshop/hh/ProjectOptions.h"
#include "workshop/hh/View.h"

namespace {

constexpr std::string_view kUsage =
    "usage: hh -decompile [--force] DIR FILE\n"
    "                                extract the source files of FILE into DIR (--force: even\n"
    "                                when they would take far more room than FILE)\n"
    "       hh -options FILE         print the project options kept in FILE\n"
    "       hh FILE[::/TOPIC] [TOPIC]  open FILE in a help viewer\n"
    "       hh --help | --version\n";

int Run(int argc, char** argv) {
  using namespace corvina::workshop;
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::cout << "hh (Corvina) " << CORVINA_VERSION_MAJOR << "." << CORVINA_VERSION_MINOR << "."
              << CORVINA_VERSION_PATCH << "\n";
    return 0;
  }
  if (argc >= 2 && std::string_view(argv[1]) == "-decompile") {
    DecompileOptions options;
    int first = 2;
    if (argc >= 3 && std::string_view(argv[2]) == "--force") {
      options.force = true;
      ++first;
    }
    if (argc != first + 2) {
      std::cerr << kUsage;
      return kDecompileFailed;
    }
    OutputFolder::RemovePartialFileOnSignals();
    return Decompile(argv[first], argv[first + 1], std::cout, options);
  }
  if (argc >= 2 && std::string_view(argv[1]) == "-options") {
    if (argc != 3) {
      std::cerr << kUsage;
      return kDecompileFailed;
    }
    return PrintProjectOptions(argv[2], std::cout);
  }
  if (argc < 2 || argc > 3 || std::string_view(argv[1]).starts_with('-')) {
    std::cerr << kUsage;
    return kViewFailed;
  }
  return View(argv[1], argc == 3 ? argv[2] : "", std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  return corvina::RunMain(Run, argc, argv, 2);
}
