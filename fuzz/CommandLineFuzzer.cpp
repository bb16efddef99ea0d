// The Windows-style command-line splitter: any line splits, and quoting the arguments gives a
// line that splits back into the same arguments. The program name follows its own rules (no
// backslash escapes, no way to hold a double quote), so it is checked on its own.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  const std::string_view line = fuzz::AsText(data, size);
  const std::vector<std::string> args = SplitCommandLine(line);
  if (args.empty()) return 0;
  if (args[0].find('"') == std::string::npos &&
      SplitCommandLine("\"" + args[0] + "\"") != std::vector<std::string>{args[0]}) {
    __builtin_trap();
  }
  std::string joined = "program";
  for (size_t i = 1; i < args.size(); ++i) {
    joined += ' ';
    joined += QuoteCommandLineArgument(args[i]);
  }
  std::vector<std::string> back = SplitCommandLine(joined);
  back[0] = args[0];
  if (back != args) __builtin_trap();
  return 0;
}
