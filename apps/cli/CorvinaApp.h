#pragma once

#include <string>
#include <vector>

namespace corvina::cli {

// Runs one command line of the corvina program (the arguments after its name) and returns the
// exit status: 0 clean; 1 compiled, with "HHC" errors or warnings in the log; 2 bad usage or
// input; 3 stopped (no compiler, locked output, the user's No).
int RunCorvina(const std::vector<std::string>& args);

}  // namespace corvina::cli
