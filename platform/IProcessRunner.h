#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvina {

// What one read of a child's output gave: some bytes, nothing within the time allowed, or the
// end of the output (every writer closed its end).
struct ProcessRead {
  size_t bytes = 0;
  bool end = false;
  bool failed = false;  // the read itself failed; treated like the end of the output
};

// A started child whose standard output and standard error share one pipe. Dropping it kills
// the child (and everything it started) at once if it is still running, and reaps it.
class IChildProcess {
 public:
  virtual ~IChildProcess() = default;
  // Waits at most `timeout` for output and reads what is there, up to the buffer's size.
  virtual ProcessRead Read(std::span<std::byte> buffer, std::chrono::milliseconds timeout) = 0;
  // Waits at most `timeout` for the child to end; its exit code once it has ended (128 plus the
  // signal's number for a child killed by a signal), nothing while it still runs.
  virtual std::optional<int32_t> Wait(std::chrono::milliseconds timeout) = 0;
  // Ends the child and every process of its group: asks them to terminate (SIGTERM), and kills
  // them (SIGKILL) if they are still there a few seconds later, while Read or Wait is called.
  virtual void Kill() = 0;
};

// Where a child's standard streams go.
enum class ProcessStreams {
  // Standard input reads /dev/null; standard output and standard error share one pipe.
  kPipe,
  // All three are a new pseudo-terminal in raw mode, the child's controlling terminal, so that
  // a program that buffers its output when it is not on a terminal writes each line at once.
  kTerminal,
  // Standard input reads /dev/null; standard output and standard error are the caller's. Read
  // reports the end of the output at once.
  kInherited,
};

struct ProcessStartOptions {
  // The whole command line, program first, split the Windows way (SplitCommandLine).
  std::string command_line{};
  // The child's current folder; empty: the caller's.
  std::string working_directory{};
  // When not empty, the program and its arguments as they are; command_line is then not used.
  std::vector<std::string> arguments{};
  ProcessStreams streams = ProcessStreams::kPipe;
  // The child runs in a session of its own and is not ours: it outlives the caller, nobody
  // waits for it, and its streams are as kInherited. The returned child has ended at once,
  // with no output and exit code 0; a start that fails is still reported.
  bool detached = false;
};

// The step of a start that failed, and the system's error number in the Windows numbering
// that callers show (2: the program file does not exist; 5: access denied; 267: the working
// folder is not a folder).
struct ProcessStartFailure {
  enum class Step { kPipe, kProcess };
  Step step = Step::kProcess;
  int32_t system_error = 0;
};

struct ProcessStart {
  std::unique_ptr<IChildProcess> child;  // null when the start failed
  ProcessStartFailure failure;
};

// Starts console programs with their output captured, without a shell.
class IProcessRunner {
 public:
  virtual ~IProcessRunner() = default;
  virtual ProcessStart Start(const ProcessStartOptions& options) = 0;
};

}  // namespace corvina
