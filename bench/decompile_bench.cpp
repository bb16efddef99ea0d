// Decompiling a large .chm with our hh, beside libchm's own `extract_chmLib` and FPC's
// `chmls extractall` of the same file. hh checks the directory and the compression tables
// before libchm reads the file and writes each file under a temporary name first; the ratio to
// extract_chmLib shows what that costs. The generated .chm files are compiled once with chmcmd
// (header mended, so that every reader lists every file) and kept under /tmp/corvina-bench/ by
// size. Argument 0 is a real help file: $CORVINA_BENCH_CHM, else the LCL reference of Debian's
// lazarus-doc package (20,000 pages, 16 MB) when it is installed.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "workshop/common/ChmHeaderFix.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path kCache = "/tmp/corvina-bench";

// Runs the program (looked up on PATH) in the folder, its output discarded; the exit code.
int RunQuietly(const std::vector<std::string>& command, const fs::path& folder = {}) {
  std::vector<char*> argv;
  for (const std::string& arg : command)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path HhProgram() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "bin" / "hh";
}

// The real help file of argument 0; empty when there is none.
fs::path RealHelpFile() {
  if (const char* named = std::getenv("CORVINA_BENCH_CHM"); named != nullptr && *named != '\0') {
    return named;
  }
  std::error_code ec;
  for (const auto& version : fs::directory_iterator("/usr/share/doc/lazarus", ec)) {
    if (fs::exists(version.path() / "lcl.chm")) return version.path() / "lcl.chm";
  }
  return {};
}

// A site of `pages` pages of about 2 KB of words each (fixed seed) in a few folders, compiled
// without full-text search; built on first use and reused by later runs.
fs::path HelpFile(int pages) {
  if (pages == 0) return RealHelpFile();
  const fs::path chm = kCache / ("decompile-" + std::to_string(pages) + ".chm");
  if (fs::exists(chm)) return corvina::workshop::FixChmcmdHeader(chm).ok() ? chm : fs::path();
  const fs::path site = kCache / ("decompile-" + std::to_string(pages) + "-site");
  fs::remove_all(site);
  fs::create_directories(site);
  static const char* const kWords[] = {"help",  "file",   "page",   "index",   "topic", "window",
                                       "site",  "folder", "title",  "keyword", "link",  "image",
                                       "table", "option", "output", "compile", "view",  "search"};
  std::mt19937 random(20000);
  std::string project =
      "[OPTIONS]\nCompiled file=out.chm\nDefault topic=p/0/page00000.htm\nTitle=Bench\n"
      "Full-text search=No\n\n[FILES]\n";
  for (int i = 0; i < pages; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "p/%d/page%05d.htm", i % 20, i);
    std::string body = "<html><head><title>Page " + std::to_string(i) + "</title></head><body><p>";
    while (body.size() < 2000) {
      body += kWords[random() % std::size(kWords)];
      body += random() % 12 == 0 ? ".</p>\n<p>" : " ";
    }
    body += "</p></body></html>\n";
    fs::create_directories((site / name).parent_path());
    std::ofstream(site / name, std::ios::binary) << body;
    project += std::string(name) + "\n";
  }
  std::ofstream(site / "bench.hhp", std::ios::binary) << project;
  if (RunQuietly({"chmcmd", "bench.hhp"}, site) != 0 || !fs::exists(site / "out.chm") ||
      !corvina::workshop::FixChmcmdHeader(site / "out.chm").ok()) {
    return {};
  }
  fs::rename(site / "out.chm", chm);
  fs::remove_all(site);
  return chm;
}

enum class Extractor { kHh, kChmls, kExtractChmLib };

void Extract(benchmark::State& state, Extractor extractor) {
  const fs::path chm = HelpFile(static_cast<int>(state.range(0)));
  if (chm.empty()) {
    state.SkipWithError(state.range(0) == 0
                            ? "no real help file: set CORVINA_BENCH_CHM or install lazarus-doc"
                            : "chmcmd could not compile the bench site");
    return;
  }
  const fs::path out = kCache / "out";
  std::vector<std::string> command;
  switch (extractor) {
    case Extractor::kHh:
      command = {HhProgram().string(), "-decompile", out.string(), chm.string()};
      break;
    case Extractor::kChmls:
      command = {"chmls", "extractall", chm.string(), out.string()};
      break;
    case Extractor::kExtractChmLib:
      command = {"extract_chmLib", chm.string(), out.string()};
      break;
  }
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directories(out);
    state.ResumeTiming();
    if (RunQuietly(command) != 0) state.SkipWithError("extraction failed");
  }
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out))
    files += entry.is_regular_file();
  state.counters["files"] = static_cast<double>(files);
  fs::remove_all(out);
}

void BM_HhDecompile(benchmark::State& state) {
  Extract(state, Extractor::kHh);
}
void BM_BaselineExtractChmLib(benchmark::State& state) {
  Extract(state, Extractor::kExtractChmLib);
}
void BM_BaselineChmlsExtractall(benchmark::State& state) {
  Extract(state, Extractor::kChmls);
}

BENCHMARK(BM_HhDecompile)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_BaselineExtractChmLib)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_BaselineChmlsExtractall)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
