// hhc PROJECT: compiles a help project into a .chm. The project is read and checked first
// (every named file must exist inside the project folder); chmcmd then compiles a prepared
// copy into a temporary file beside the output, which replaces the output only when all went
// well. Everything it prints is a progress line or a numbered "HHCnnnn:" message.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/PosixProcessRunner.h"
#include "workshop/common/ChmHeaderFix.h"
#include "workshop/common/ChmcmdEngine.h"
#include "workshop/common/HhcMessages.h"
#include "workshop/common/HhcProject.h"

namespace {

namespace fs = std::filesystem;
using corvina::workshop::FormatMessage;
using corvina::workshop::HhcCode;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

volatile std::sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int signal_number) {
  g_stop_signal = signal_number;
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll() returns and sees the flag
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(signal_number, &action, nullptr);
}

void Print(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Usage(std::FILE* out) {
  std::fputs(
      "Usage: hhc [--engine chmcmd|native] PROJECT\n"
      "Compiles the help project PROJECT (any file name; its text is Windows-1252) into the\n"
      "file its \"Compiled file=\" option names. Progress lines and messages of the form\n"
      "\"HHCnnnn: Warning: text\" or \"HHCnnnn: Error: text\" go to standard output.\n"
      "  --engine chmcmd   compile with chmcmd (the default)\n"
      "  --engine native   compile with the built-in writer, where this build has one\n"
      "  -h, --help        show this text\n"
      "Exit status: 0 compiled (warnings may have been printed), 1 not compiled, 2 bad usage.\n",
      out);
}

// Files and folders this run made; removed when the run ends, whatever the outcome.
class CreatedPaths {
 public:
  ~CreatedPaths() {
    for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) {
      std::error_code ec;
      fs::remove_all(*it, ec);
    }
  }
  void Add(fs::path path) { paths_.push_back(std::move(path)); }

 private:
  std::vector<fs::path> paths_;
};

// A new, uniquely named file or folder from a template ending in XXXXXX plus `suffix`.
bool MakeUnique(std::string& name, int suffix_length, bool folder) {
  if (folder) return ::mkdtemp(name.data()) != nullptr;
  int fd = ::mkstemps(name.data(), suffix_length);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

int Stopped() {
  Print(FormatMessage(HhcCode::kInterrupted, "The compile was stopped by a signal."));
  return 128 + g_stop_signal;
}

int CompileWithChmcmd(const corvina::workshop::ParsedProject& project) {
  CreatedPaths created;
  auto failed = [](HhcCode code, const std::string& text) {
    Print(FormatMessage(code, text));
    return kExitFailed;
  };

  corvina::Result<fs::path> chmcmd = corvina::FindProgram("chmcmd");
  if (!chmcmd.ok()) {
    return failed(HhcCode::kCompilerNotFound,
                  "chmcmd cannot be found (install the Debian package fp-utils).");
  }

  // chmcmd accepts only a project whose name ends in .hhp, so it gets a hidden sibling copy.
  std::string copy =
      (project.folder / ("." + project.project_file.filename().string() + "-XXXXXX.hhp")).string();
  if (!MakeUnique(copy, 4, false)) {
    return failed(HhcCode::kOutputFailed, "Cannot create a working copy of the project in " +
                                              project.folder.string() + ": " +
                                              std::strerror(errno));
  }
  created.Add(copy);

  // chmcmd writes its output in place, so it writes into a folder of ours beside the output
  // (the same file system, so that the finished file can be renamed over the output).
  const fs::path output = project.compiled_file;
  std::string work =
      (output.parent_path() / ("." + output.filename().string() + "-XXXXXX")).string();
  if (!MakeUnique(work, 0, true)) {
    return failed(HhcCode::kOutputFailed, "Cannot create a temporary folder beside " +
                                              output.string() + ": " + std::strerror(errno));
  }
  created.Add(work);
  const fs::path temporary = fs::path(work) / output.filename();
  // Contents and index files whose page names had to be re-encoded are compiled from copies.
  corvina::workshop::CompileNames names{temporary, project.contents_file, project.index_file};
  for (auto [name, text, extension] :
       {std::tuple{&names.contents_file, &project.contents_text, ".hhc"},
        std::tuple{&names.index_file, &project.index_text, ".hhk"}}) {
    if (text->empty()) continue;
    std::string sitemap = (project.folder / (*name + extension)).string();
    int fd = ::open(sitemap.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
    } else {
      sitemap = (project.folder / (*name + "-XXXXXX" + extension)).string();
      if (!MakeUnique(sitemap, 4, false)) {
        return failed(HhcCode::kOutputFailed,
                      "Cannot create a copy of " + *name + ": " + std::strerror(errno));
      }
    }
    created.Add(sitemap);
    if (!WriteBytes(sitemap, *text)) {
      return failed(HhcCode::kOutputFailed, "Cannot write " + sitemap + ".");
    }
    *name = fs::path(sitemap).lexically_relative(project.folder).generic_string();
  }
  if (!WriteBytes(copy, corvina::workshop::ProjectTextFor(project, names))) {
    return failed(HhcCode::kOutputFailed, "Cannot write the working copy " + copy + ".");
  }
  if (g_stop_signal != 0) return Stopped();

  corvina::workshop::ChmcmdOutputFilter filter(project.show_progress, project.folder);
  corvina::workshop::ChmcmdRun run{*chmcmd, copy, &g_stop_signal};
  corvina::workshop::ChmcmdResult result =
      corvina::workshop::RunChmcmd(run, [&](std::string_view line) {
        if (auto printed = filter.Line(line)) Print(*printed);
      });
  if (result.interrupted) return Stopped();
  if (auto printed = filter.Finish()) Print(*printed);
  if (!result.started) {
    return failed(HhcCode::kCompilerNotFound,
                  "chmcmd (" + chmcmd->string() + ") cannot be started.");
  }
  if (result.exit_code != 0) {
    return failed(HhcCode::kCompilerFailed,
                  "chmcmd failed with exit code " + std::to_string(result.exit_code) + ".");
  }
  if (filter.failed()) return kExitFailed;

  std::error_code ec;
  if (!fs::is_regular_file(temporary, ec) || fs::file_size(temporary, ec) == 0) {
    return failed(HhcCode::kCompilerFailed, "chmcmd wrote no compiled file.");
  }
  if (corvina::Status fixed = corvina::workshop::FixChmcmdHeader(temporary); !fixed.ok()) {
    return failed(HhcCode::kOutputFailed, fixed.description());
  }
  if (g_stop_signal != 0) return Stopped();
  fs::rename(temporary, output, ec);
  if (ec) {
    return failed(HhcCode::kOutputFailed,
                  "Cannot move the compiled file to " + output.string() + ": " + ec.message());
  }
  Print("Created " + output.string() + ", " + std::to_string(project.files.size()) + " files, " +
        std::to_string(filter.warnings()) + " warnings.");
  return kExitOk;
}

int Main(int argc, char** argv) {
  std::string engine = "chmcmd";
  std::string project_file;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      Usage(stdout);
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
  if (engine != "chmcmd") {
    std::fprintf(stderr, "hhc: the engine \"%s\" is not available in this build\n", engine.c_str());
    return kExitUsage;
  }
  InstallStopHandlers();
  setvbuf(stdout, nullptr, _IOLBF, 0);

  corvina::workshop::ParsedProject project = corvina::workshop::ReadProject(project_file);
  for (const auto& message : project.messages)
    Print(FormatMessage(message.code, message.text));
  if (project.HasErrors()) return kExitFailed;
  if (g_stop_signal != 0) return Stopped();
  return CompileWithChmcmd(project);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Corvina: internal error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Corvina: internal error\n");
  }
  return kExitFailed;
}
