#pragma once

#include <csignal>

#include "workshop/common/HhcProject.h"

namespace corvina::workshop {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;

// The number of a stop signal that arrived (SIGINT, SIGTERM, SIGHUP), 0 while none has.
extern volatile std::sig_atomic_t g_stop_signal;

// Prints one line to standard output at once, so that a reader of a pipe sees it.
void PrintLine(std::string_view line);

// Compile a checked project and return hhc's exit status. Both print progress lines and
// numbered messages, write the output only when the compile succeeds and remove everything
// else they made. The native engine takes the project over, releasing what it no longer needs
// before the compile.
int CompileWithChmcmd(const ParsedProject& project);
int CompileNative(ParsedProject project);

}  // namespace corvina::workshop
