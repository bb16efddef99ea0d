#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ConsoleMessageBoxes.h"
#include "platform/Status.h"

namespace corvina::cli {

enum class Command { kHelp, kVersion, kSetup, kCompile, kDecompile, kSettings };

// What the user asked for on the command line. Options left unset keep the site's saved
// setting (or the panel's default).
struct Options {
  Command command = Command::kHelp;
  ConsoleMessageBoxes::Policy answers = ConsoleMessageBoxes::Policy::kAsk;
  // compile, decompile: the tool's log
  bool quiet = false;                      // only its numbered errors and warnings
  std::optional<std::string> diagnostics;  // "gnu": messages as FILE:LINE: warning: ...
  // Error reports also name the routine and line they come from.
  bool verbose = false;
  // setup
  std::optional<std::string> workshop;
  // compile, settings
  std::string site;
  std::optional<std::string> output;
  std::optional<std::string> title;
  std::optional<std::string> default_page;
  std::optional<bool> index;
  std::optional<bool> favorites;
  std::optional<bool> open;
  std::optional<bool> keep_log;
  std::optional<std::string> engine;  // hhc's engine for this run only: "native" or "chmcmd"
  // settings
  bool save_to_site = false;
  bool reset = false;
  // decompile
  std::string chm_file;
  std::string folder;
  bool to_site = false;
};

// Parses the arguments after the program name, GNU style ("--title=X", "--title X", "-oX",
// "-o X", "--" ends the options). A usage error comes back as an Error whose text says what
// is wrong.
Result<Options> ParseOptions(const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();

}  // namespace corvina::cli
