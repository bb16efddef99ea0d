#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace corvina {

class IChildProcess;

// Numbered errors of a failed start: the interface-error base plus 512 and 513.
inline constexpr int32_t kErrCreatePipe = static_cast<int32_t>(0x80040200u);
inline constexpr int32_t kErrCreateProcess = static_cast<int32_t>(0x80040201u);

// Runs one console program with its standard output and standard error in one stream and
// hands the output to its owner as it arrives, in pieces of at most 16 characters, then one
// empty piece at the end of the output. While it waits it yields to the message loop at least
// every 50 ms, silent child or not. A start that fails is reported (0x80040200 "CreatePipe
// failed. Error: n", 0x80040201 "CreateProcess failed. Error: n") and gives 0 and no events.
class CSpawnConsoleApp {
 public:
  CSpawnConsoleApp();
  ~CSpawnConsoleApp();
  CSpawnConsoleApp(const CSpawnConsoleApp&) = delete;
  CSpawnConsoleApp& operator=(const CSpawnConsoleApp&) = delete;

  // Runs sCmdline (program first, split the Windows way) in sStartUpDirectory to the end of
  // its output and returns its exit code (128 plus the signal for a child killed by one).
  int32_t ExecuteApp(std::string_view sCmdline, std::string_view sStartUpDirectory);

  // Ends the running child and everything it started; ExecuteApp then delivers what was
  // already read, the empty piece, and returns. Safe to call from the event handlers and from
  // the message loop, and when nothing runs.
  void Cancel();
  bool Running() const { return mChild != nullptr; }

  // Subscribe before ExecuteApp. The text is valid only during the call.
  std::function<void()> OnProcessStarted;
  std::function<void(std::string_view sOutput)> OnProcessOutputs;

 private:
  // Hands out sText in pieces of at most 16 characters; bAscii: every byte is one character.
  void Deliver(std::string_view sText, bool bAscii);

  IChildProcess* mChild = nullptr;
  bool mCancelled = false;
};

}  // namespace corvina
