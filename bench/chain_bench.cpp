// The whole generation of a 2,000 and a 20,000 page site, split into Corvina's own share and
// the compiler's. Corvina runs with a stand-in compiler that only prints one progress line per
// file, so its time and memory are its own; chmcmd runs alone on the same pages. The ratio of
// interest: Corvina's time over the sum, and its peak memory over chmcmd's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Measured {
  double seconds = 0;
  long max_rss_kb = 0;
  int exit_code = -1;
};

Measured Run(const std::vector<std::string>& argv, const fs::path& folder) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  Measured m;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    m.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.max_rss_kb = usage.ru_maxrss;
  }
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return m;
}

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A site of `pages` pages of about 2 KB in 20 folders, an outline and keywords; kept under
// /tmp/corvina-bench/ between runs.
fs::path MakeSite(int pages) {
  const fs::path site = "/tmp/corvina-bench/site-" + std::to_string(pages);
  if (fs::exists(site / "navigation.txt")) return site;
  std::string outline;
  std::string files;
  for (int i = 0; i < pages; ++i) {
    const std::string name = "part" + std::to_string(i % 20) + "/page" + std::to_string(i) + ".htm";
    std::string body;
    for (int p = 0; p < 12; ++p) {
      body += "<p>Paragraph " + std::to_string(p) + " of page " + std::to_string(i) +
              ": the quick brown fox jumps over the lazy dog, again and again.</p>\n";
    }
    Write(site / name, "<html><head><title>Page " + std::to_string(i) +
                           "</title><meta name=\"keywords\" content=\"topic " +
                           std::to_string(i % 500) + "\"></head><body>" + body +
                           "</body></html>\n");
    outline += std::string(i % 3 == 0 ? "" : "    ") + name + "\n";
    files += name + "\r\n";
  }
  Write(site / "index.htm", "<html><head><title>Home</title></head><body>home</body></html>");
  Write(site / "navigation.txt", "index.htm\n" + outline);
  // The same pages as a project chmcmd takes on its own.
  Write(site.parent_path() / ("alone-" + std::to_string(pages)) / "p.hhp",
        "[OPTIONS]\r\nCompiled file=alone.chm\r\nDefault topic=index.htm\r\nTitle=Alone\r\n"
        "Full-text search=Yes\r\n\r\n[FILES]\r\nindex.htm\r\n" +
            files);
  return site;
}

// A compiler that does no work: one progress line per file of the project, then success.
fs::path StandInCompiler() {
  const fs::path folder = "/tmp/corvina-bench/standin";
  Write(folder / "hhc",
        "#!/bin/sh\nsed -n '/^\\[FILES\\]/,$p' \"$1\" | sed 1d | while IFS= read -r f; do "
        "echo \"Processing $f\"; done\nexit 0\n");
  fs::permissions(folder / "hhc", fs::perms::owner_all);
  return folder;
}

const std::string kBin = CORVINA_BENCH_BIN;

void BM_CorvinaOwnShare(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path site = MakeSite(pages);
  setenv("XDG_CONFIG_HOME", "/tmp/corvina-bench/config", 1);
  Run({kBin + "/corvina", "setup", "--workshop", StandInCompiler().string()}, "/tmp");
  Measured m;
  for (auto _ : state) {
    m = Run({kBin + "/corvina", "compile", site.string(), "-o", "/tmp/corvina-bench/out.chm",
             "--index", "--no-open", "--yes"},
            "/tmp");
    state.SetIterationTime(m.seconds);
  }
  state.counters["max_rss_MB"] = static_cast<double>(m.max_rss_kb) / 1024.0;
  state.counters["exit"] = m.exit_code;
}
BENCHMARK(BM_CorvinaOwnShare)
    ->Arg(2000)
    ->Arg(20000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_ChmcmdAlone(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path site = MakeSite(pages);
  const fs::path project = site.parent_path() / ("alone-" + std::to_string(pages)) / "p.hhp";
  fs::copy_file(project, site / "p.hhp", fs::copy_options::overwrite_existing);
  Measured m;
  for (auto _ : state) {
    m = Run({"/usr/bin/chmcmd", "p.hhp"}, site);
    state.SetIterationTime(m.seconds);
  }
  fs::remove(site / "p.hhp");
  fs::remove(site / "alone.chm");
  state.counters["max_rss_MB"] = static_cast<double>(m.max_rss_kb) / 1024.0;
}
BENCHMARK(BM_ChmcmdAlone)
    ->Arg(2000)
    ->Arg(20000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
