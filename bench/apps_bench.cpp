// Start-up of the corvina program: the time from spawning `corvina compile` on the example site
// to the first byte of its log on stdout, with a stand-in hhc that prints one line and exits,
// beside the time to spawn /bin/true and see its stdout close.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path kBin = CORVINA_BENCH_BIN;
const fs::path kExampleSite = fs::path(__FILE__).parent_path().parent_path() / "examples" / "site";

// Spawns the program with stdout on a pipe and returns the seconds until its first byte there
// (or the pipe's end); then drains the pipe and reaps the child.
double SecondsToFirstOutput(const std::vector<std::string>& command) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
  std::vector<char*> argv;
  for (const std::string& arg : command)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const Clock::time_point start = Clock::now();
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  double seconds = -1;
  if (rc == 0) {
    char buffer[4096];
    ssize_t got = ::read(fds[0], buffer, sizeof buffer);
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    while (got > 0)
      got = ::read(fds[0], buffer, sizeof buffer);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  ::close(fds[0]);
  return seconds;
}

// A folder with its own settings, a copy of the example site and a stand-in compiler
// recorded as the Workshop's folder; removed at the end.
class StartUpFixture {
 public:
  StartUpFixture() {
    std::string pattern = (fs::temp_directory_path() / "corvina-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    fs::copy(kExampleSite, root_ / "site", fs::copy_options::recursive);
    fs::create_directories(root_ / "workshop");
    std::ofstream(root_ / "workshop" / "hhc") << "#!/bin/sh\necho 'Compiling the project'\n";
    fs::permissions(root_ / "workshop" / "hhc", fs::perms::owner_all);
    SecondsToFirstOutput(
        {(kBin / "corvina").string(), "setup", "--workshop", (root_ / "workshop").string()});
  }
  ~StartUpFixture() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  std::vector<std::string> Command() const {
    return {(kBin / "corvina").string(),
            "compile",
            (root_ / "site").string(),
            "-o",
            (root_ / "out.chm").string(),
            "--no-open",
            "--yes"};
  }

 private:
  fs::path root_;
};

void BM_CorvinaFirstLogLine(benchmark::State& state) {
  StartUpFixture fixture;
  const std::vector<std::string> command = fixture.Command();
  for (auto _ : state) {
    const double seconds = SecondsToFirstOutput(command);
    if (seconds < 0) {
      state.SkipWithError("corvina could not be started");
      break;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_CorvinaFirstLogLine)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BaselineSpawnTrue(benchmark::State& state) {
  for (auto _ : state) {
    const double seconds = SecondsToFirstOutput({"/bin/true"});
    if (seconds < 0) {
      state.SkipWithError("/bin/true could not be started");
      break;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_BaselineSpawnTrue)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
