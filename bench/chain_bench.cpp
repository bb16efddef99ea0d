// The whole generation of a 2,000 and a 20,000 page site, split into Corvina's own share and
// the compiler's. Corvina runs with a stand-in compiler that keeps a copy of the project it is
// given and prints one progress line per file, so Corvina's time and memory are its own; then
// our hhc (chmcmd) compiles that very project alone. Of interest: Corvina's time over the sum,
// and its peak memory beside the compiler's.
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
  double cpu_seconds = 0;  // user + system, of the program and the children it waited for
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
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    m.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
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
  return site;
}

// A compiler that does no work: it keeps the project and the temporary files beside it in
// /tmp/corvina-bench/captured, prints one progress line per file of the project, and succeeds.
fs::path StandInCompiler() {
  const fs::path folder = "/tmp/corvina-bench/standin";
  Write(folder / "hhc",
        "#!/bin/sh\nrm -rf /tmp/corvina-bench/captured; mkdir -p /tmp/corvina-bench/captured\n"
        "cp Cor*.tmp Cor*.tmp.htm /tmp/corvina-bench/captured/\n"
        "echo \"$1\" > /tmp/corvina-bench/captured/project-name\n"
        "sed -n '/^\\[FILES\\]/,$p' \"$1\" | sed -e 1d -e 's/^/Processing /'\nexit 0\n");
  fs::permissions(folder / "hhc", fs::perms::owner_all);
  return folder;
}

const std::string kBin = CORVINA_BENCH_BIN;

void Report(benchmark::State& state, const Measured& m) {
  state.counters["max_rss_MB"] = static_cast<double>(m.max_rss_kb) / 1024.0;
  state.counters["cpu_s"] = m.cpu_seconds;
  state.counters["exit"] = m.exit_code;
}

// `corvina compile` of a generated site through the help compiler in the folder `workshop`.
void CompileWith(benchmark::State& state, const std::string& workshop) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path site = MakeSite(pages);
  setenv("XDG_CONFIG_HOME", "/tmp/corvina-bench/config", 1);
  Run({kBin + "/corvina", "setup", "--workshop", workshop}, "/tmp");
  Measured m;
  for (auto _ : state) {
    m = Run({kBin + "/corvina", "compile", site.string(), "-o", "/tmp/corvina-bench/out.chm",
             "--index", "--no-open", "--yes"},
            "/tmp");
    state.SetIterationTime(m.seconds);
  }
  Report(state, m);
}

// The whole `corvina compile` with our own hhc, to set beside BM_CompilerAlone of the same size:
// their ratio is what Corvina adds to the compiler's own run.
void BM_CorvinaWithCompiler(benchmark::State& state) {
  CompileWith(state, kBin);
}

void BM_CorvinaOwnShare(benchmark::State& state) {
  CompileWith(state, StandInCompiler().string());
}

// Our hhc on the project that the last BM_CorvinaOwnShare of the same size wrote:
// its temporary files are put back into the site folder for the run and removed afterwards.
void BM_CompilerAlone(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const fs::path site = MakeSite(pages);
  const fs::path captured = "/tmp/corvina-bench/captured";
  std::string project;
  std::ifstream(captured / "project-name") >> project;
  std::vector<fs::path> copied;
  for (const auto& entry : fs::directory_iterator(captured)) {
    if (entry.path().filename() == "project-name") continue;
    fs::copy_file(entry.path(), site / entry.path().filename(),
                  fs::copy_options::overwrite_existing);
    copied.push_back(site / entry.path().filename());
  }
  Measured m;
  for (auto _ : state) {
    m = Run({kBin + "/hhc", project}, site);
    state.SetIterationTime(m.seconds);
  }
  for (const fs::path& path : copied)
    fs::remove(path);
  Report(state, m);
}
// Each size: Corvina with a stand-in first (it leaves the project behind), then the compiler on
// that project, then Corvina with the compiler.
void OneRun(benchmark::internal::Benchmark* bench) {
  bench->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
}
BENCHMARK(BM_CorvinaOwnShare)->Arg(2000)->Apply(OneRun);
BENCHMARK(BM_CompilerAlone)->Arg(2000)->Apply(OneRun);
BENCHMARK(BM_CorvinaWithCompiler)->Arg(2000)->Apply(OneRun);
BENCHMARK(BM_CorvinaOwnShare)->Arg(20000)->Apply(OneRun);
BENCHMARK(BM_CompilerAlone)->Arg(20000)->Apply(OneRun);
BENCHMARK(BM_CorvinaWithCompiler)->Arg(20000)->Apply(OneRun);

}  // namespace

BENCHMARK_MAIN();
