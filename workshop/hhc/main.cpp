// hhc PROJECT: compiles a help project into a .chm. The project is read and checked first
// (every named file must exist inside the project folder), then an engine compiles it; the
// output is replaced only when all went well. Everything it prints is a progress line or a
// numbered "HHCnnnn:" message.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ProcessMemory.h"
#include "platform/Product.h"
#include "workshop/chm/ChmCompiler.h"
#include "workshop/common/HhcMessages.h"
#include "workshop/common/HhcProject.h"
#include "workshop/hhc/Engines.h"

namespace {

using corvina::workshop::FormatMessage;
using corvina::workshop::HhcCode;

using corvina::workshop::kExitFailed;
using corvina::workshop::kExitOk;
constexpr int kExitUsage = 2;

void OnStopSignal(int signal_number) {
  corvina::workshop::g_stop_signal = signal_number;
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll() returns and sees the flag
  // SIGPIPE: whoever read our output is gone, so the compile is stopped and cleaned up too.
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    ::sigaction(signal_number, &action, nullptr);
}

void Usage(std::FILE* out) {
  std::fputs(
      "Usage: hhc [--engine native|chmcmd] PROJECT\n"
      "Compiles the help project PROJECT (any file name; its text is Windows-1252) into the\n"
      "file its \"Compiled file=\" option names. Progress lines and messages of the form\n"
      "\"HHCnnnn: Warning: text\" or \"HHCnnnn: Error: text\" go to standard output.\n"
      "  --engine native   compile with the built-in writer (the default)\n"
      "  --engine chmcmd   compile with chmcmd (Debian package fp-utils), as a cross-check\n"
      "Without --engine, the environment variable CORVINA_HHC_ENGINE names the engine.\n"
      "  -h, --help        show this text\n"
      "  --version         show the version\n"
      "Exit status: 0 compiled (warnings may have been printed), 1 not compiled, 2 bad usage.\n",
      out);
}

int Main(int argc, char** argv) {
  std::string engine = "native";
  if (const char* chosen = std::getenv(corvina::workshop::kHhcEngineVariable)) {
    if (*chosen != '\0') engine = chosen;
  }
  std::string project_file;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      Usage(stdout);
      return kExitOk;
    }
    if (arg == "--version") {
      std::printf("hhc (Corvina) %d.%d.%d\n", CORVINA_VERSION_MAJOR, CORVINA_VERSION_MINOR,
                  CORVINA_VERSION_PATCH);
      return kExitOk;
    }
    if (arg == "--engine" && i + 1 < argc) {
      engine = argv[++i];
    } else if (arg.starts_with("--engine=")) {
      engine = arg.substr(9);
    } else if (arg.starts_with("-") && arg != "-") {
      std::fprintf(stderr, "hhc: unknown option %s\n", argv[i]);
      Usage(stderr);
      return kExitUsage;
    } else if (project_file.empty()) {
      project_file = arg;
    } else {
      std::fprintf(stderr, "hhc: more than one project given\n");
      Usage(stderr);
      return kExitUsage;
    }
  }
  if (project_file.empty()) {
    Usage(stderr);
    return kExitUsage;
  }
  if (engine != "chmcmd" && engine != "native") {
    std::fprintf(stderr, "hhc: the engine \"%s\" is not available in this build\n", engine.c_str());
    return kExitUsage;
  }
  InstallStopHandlers();
  // The sitemaps read, the search index and the system files are large buffers built one after
  // another: each goes back when done (20,000 pages with search: peak 21-23 -> 17-18 MB).
  corvina::KeepLargeBlocksApart(corvina::chm::kChmLargeBlockBytes);

  corvina::workshop::ParsedProject project = corvina::workshop::ReadProject(project_file);
  for (const auto& message : project.messages)
    corvina::workshop::PrintLine(FormatMessage(message.code, message.text));
  if (project.HasErrors()) return kExitFailed;
  if (engine == "native") return corvina::workshop::CompileNative(std::move(project));
  return corvina::workshop::CompileWithChmcmd(project);
}

}  // namespace

int main(int argc, char** argv) {
  return corvina::RunMain(Main, argc, argv, kExitFailed);
}
