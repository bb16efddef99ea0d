#pragma once

#include <filesystem>
#include <string_view>

#include "platform/IProcessRunner.h"
#include "platform/Status.h"

namespace corvina {

// Starts programs with posix_spawn, without a shell: the command line is split the Windows
// way, standard input reads /dev/null, standard output and standard error share one pipe, and
// the child leads a process group of its own so that Kill() ends everything it started.
class PosixProcessRunner : public IProcessRunner {
 public:
  ProcessStart Start(const ProcessStartOptions& options) override;
};

// Where a program named on a command line lives: a name with a "/" is taken as a path (a
// relative one from the current folder); a bare name is looked for in the folder of the
// running executable first, then in each folder of PATH. Fails with the Windows-numbered
// error 2 when there is no such program and 5 when it cannot be run.
Result<std::filesystem::path> FindProgram(std::string_view name);

// A bare program name looked for in each folder of PATH only, with FindProgram's errors.
Result<std::filesystem::path> FindOnPath(std::string_view name);

}  // namespace corvina
