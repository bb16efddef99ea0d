#include "platform/Product.h"

#include <string>

namespace corvina {

void PrintMessage(std::string_view text, std::FILE* out, std::string_view end) {
  std::string line(kProductName);
  line += ": ";
  line += text;
  line += end;
  // One write, so that a message is never cut by another stream's output.
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

}  // namespace corvina
