#pragma once

#include <cstdio>
#include <string_view>

namespace corvina {

// The caption of every message box that has no title of its own, and the application name of
// the settings store.
inline constexpr std::string_view kProductName = "Corvina";

// Prints "Corvina: <text>" and then `end` on `out`, and flushes it: the form of every message
// that the programs print for the user.
void PrintMessage(std::string_view text, std::FILE* out = stderr, std::string_view end = "\n");

// A program's main(): runs `body`, and when an exception escapes it prints
// "Corvina: internal error: <what>" and returns `failed`.
int RunMain(int (*body)(int, char**), int argc, char** argv, int failed);

}  // namespace corvina
