#include "apps/cli/CommandLineOptions.h"

#include <functional>
#include <map>

namespace corvina::cli {
namespace {

Error Usage(std::string text) {
  return Error{2, std::move(text)};
}

// The flags that take no value, and what each sets.
using FlagSetter = std::function<void(Options&)>;

const std::map<std::string, FlagSetter>& Flags() {
  static const std::map<std::string, FlagSetter> flags = {
      {"--index", [](Options& o) { o.index = true; }},
      {"--no-index", [](Options& o) { o.index = false; }},
      {"--favorites", [](Options& o) { o.favorites = true; }},
      {"--no-favorites", [](Options& o) { o.favorites = false; }},
      {"--open", [](Options& o) { o.open = true; }},
      {"--no-open", [](Options& o) { o.open = false; }},
      {"--keep-log", [](Options& o) { o.keep_log = true; }},
      {"--no-keep-log", [](Options& o) { o.keep_log = false; }},
      {"--to-site", [](Options& o) { o.to_site = true; }},
      {"--save-to-site", [](Options& o) { o.save_to_site = true; }},
      {"--reset", [](Options& o) { o.reset = true; }},
      {"--quiet", [](Options& o) { o.quiet = true; }},
      {"-q", [](Options& o) { o.quiet = true; }},
      {"--yes", [](Options& o) { o.answers = ConsoleMessageBoxes::Policy::kYes; }},
      {"-y", [](Options& o) { o.answers = ConsoleMessageBoxes::Policy::kYes; }},
      {"--no", [](Options& o) { o.answers = ConsoleMessageBoxes::Policy::kNo; }},
      {"-n", [](Options& o) { o.answers = ConsoleMessageBoxes::Policy::kNo; }},
      {"--verbose", [](Options& o) { o.verbose = true; }},
      {"-v", [](Options& o) { o.verbose = true; }},
  };
  return flags;
}

// The options that take a value.
std::optional<std::string>* ValueSlot(Options& o, const std::string& name) {
  if (name == "--output" || name == "-o") return &o.output;
  if (name == "--title") return &o.title;
  if (name == "--default-page") return &o.default_page;
  if (name == "--workshop") return &o.workshop;
  if (name == "--diagnostics") return &o.diagnostics;
  if (name == "--engine") return &o.engine;
  return nullptr;
}

// Which options each command takes.
bool Allowed(Command command, const std::string& name) {
  const bool answers = name == "-y" || name == "--yes" || name == "-n" || name == "--no";
  const bool log = name == "-q" || name == "--quiet" || name == "--diagnostics";
  if (name == "-v" || name == "--verbose") return true;
  switch (command) {
    case Command::kSetup:
      return name == "--workshop";
    case Command::kDecompile:
      return answers || log || name == "--to-site";
    case Command::kCompile:
      return name != "--workshop" && name != "--to-site" && name != "--save-to-site" &&
             name != "--reset";
    case Command::kSettings:
      // The compile options show what they would make of the settings.
      return name != "--workshop" && name != "--to-site" && name != "--engine" && !answers && !log;
    default:
      return false;
  }
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

Result<Options> ParseOptions(const std::vector<std::string>& args) {
  Options options;
  if (args.empty()) return Usage("missing command");
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    options.command = Command::kHelp;
    return options;
  }
  if (first == "--version" || first == "-V") {
    options.command = Command::kVersion;
    return options;
  }
  if (first == "setup") {
    options.command = Command::kSetup;
  } else if (first == "compile") {
    options.command = Command::kCompile;
  } else if (first == "decompile") {
    options.command = Command::kDecompile;
  } else if (first == "settings") {
    options.command = Command::kSettings;
  } else if (!first.empty() && first[0] == '-') {
    return Usage("unknown option '" + first + "'");
  } else {
    return Usage("unknown command '" + first + "'");
  }

  std::vector<std::string> positional;
  bool options_ended = false;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.command = Command::kHelp;
      return options;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (arg.starts_with("--")) {
      const size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
    }
    const bool known = Flags().count(name) > 0 || ValueSlot(options, name) != nullptr;
    if (!known) return Usage("unknown option '" + arg + "'");
    if (!Allowed(options.command, name)) {
      return Usage("option '" + name + "' does not go with '" + first + "'");
    }
    if (auto flag = Flags().find(name); flag != Flags().end()) {
      if (value) return Usage("option '" + name + "' takes no value");
      flag->second(options);
      continue;
    }
    std::optional<std::string>* slot = ValueSlot(options, name);
    if (!value) {
      if (i + 1 >= args.size()) return Usage("option '" + name + "' needs a value");
      value = args[++i];
    }
    if (HasLineBreak(*value)) return Usage("the value of '" + name + "' holds a line break");
    *slot = *value;
  }

  for (const std::string& p : positional) {
    if (HasLineBreak(p)) return Usage("an argument holds a line break");
  }
  if (options.diagnostics && *options.diagnostics != "gnu" && *options.diagnostics != "hhc") {
    return Usage("--diagnostics takes gnu or hhc");
  }
  switch (options.command) {
    case Command::kSetup:
      if (!positional.empty()) return Usage("setup takes no arguments");
      break;
    case Command::kCompile:
      if (positional.size() != 1) return Usage("compile takes one site folder");
      options.site = positional[0];
      if (options.engine && *options.engine != "native" && *options.engine != "chmcmd") {
        return Usage("the engine must be 'native' or 'chmcmd'");
      }
      break;
    case Command::kSettings:
      if (positional.size() != 1) return Usage("settings takes one site folder");
      options.site = positional[0];
      break;
    case Command::kDecompile:
      if (positional.size() != 2) return Usage("decompile takes a .chm file and a folder");
      options.chm_file = positional[0];
      options.folder = positional[1];
      break;
    default:
      break;
  }
  return options;
}

std::string UsageText() {
  return R"(Usage:
  corvina setup [--workshop DIR]     record DIR (default: the folder of this corvina's own
                                     hhc) as the help compiler's folder
  corvina compile SITE [options]     compile the site folder SITE into a .chm
    -o, --output FILE.chm            the compiled file (default: the site's saved setting,
                                     else SITE/<title>.CHM)
    --title TEXT                     the help file's title
    --default-page PAGE              the page shown first (site-relative path or label)
    --index | --no-index             build the keyword index from the pages' keywords
    --favorites | --no-favorites     give the help window a Favorites tab
    --open | --no-open               open the compiled file in a viewer afterwards
                                     (default: the saved setting, on a terminal with a
                                     display only)
    --keep-log | --no-keep-log       keep the compiler log on screen after a clean run
    -y, --yes | -n, --no             answer the questions (default: ask on a terminal,
                                     else No)
    -q, --quiet                      print only the compiler's errors and warnings
    --diagnostics=gnu|hhc            print them as FILE:LINE: warning: HHCnnnn: text
                                     (FILE relative to SITE) or as the compiler does
    --engine native|chmcmd           the help compiler's engine for this run (default:
                                     native; chmcmd needs fp-utils); not saved
    -v, --verbose                    also name the routine and line of each error report
  corvina decompile FILE.chm DIR [--to-site] [-y|-n] [-q] [--diagnostics=gnu|hhc] [-v]
                                     extract every file of FILE.chm into DIR
    --to-site                        then write DIR/navigation.txt from the contents
                                     file, so that DIR compiles as a site again
  corvina settings SITE [options]    print the settings a compile of SITE would use and
                                     where each comes from; the compile options above
                                     show what they would change
    --save-to-site                   write them to SITE/corvina.ini
    --reset                          first clear what this user's store keeps for SITE
  corvina --help | --version

Options given to compile (but --engine) are saved for the site in this user's store and
used again by the next run. SITE/corvina.ini, when present, comes before that store; the
command line comes before both.
Exit status: 0 clean; 1 compiled, with errors or warnings in the log; 2 bad usage or
input; 3 stopped (no compiler, locked output, the user's No).
)";
}

std::string VersionText() {
  return "corvina " + std::to_string(CORVINA_VERSION_MAJOR) + "." +
         std::to_string(CORVINA_VERSION_MINOR) + "." + std::to_string(CORVINA_VERSION_PATCH) + "\n";
}

}  // namespace corvina::cli
