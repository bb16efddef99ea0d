#include "platform/Product.h"

#include <exception>
#include <string>

namespace corvina {

void PrintMessage(std::string_view text, std::FILE* out, std::string_view end) {
  std::string line(kProductName);
  line += ": ";
  line += text;
  line += end;
  // What is held for standard output goes first, so that the two keep their order when they
  // share a file; then one write, so that a message is never cut by another stream's output.
  if (out != stdout) std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

int RunMain(int (*body)(int, char**), int argc, char** argv, int failed) {
  try {
    return body(argc, argv);
  } catch (const std::exception& e) {
    PrintMessage(std::string("internal error: ") + e.what());
  } catch (...) {
    PrintMessage("internal error");
  }
  return failed;
}

}  // namespace corvina
