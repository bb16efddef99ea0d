#pragma once

namespace corvina::cli {

// What one command run came to, as the console views saw it. The exit status follows from it.
struct RunOutcome {
  bool tool_ran = false;       // the log window started a tool
  bool tool_messages = false;  // its log held "HHC" errors or warnings
  int tool_result = 0;         // the log window's result
  bool bad_input = false;      // the command stopped at its own check of the input
};

inline constexpr int kExitClean = 0;
inline constexpr int kExitWithMessages = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 3;

}  // namespace corvina::cli
