// The console runner's throughput against a plain read() drain of the same child, and the log
// window's cost per megabyte of output.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "compiler/CSpawnConsoleApp.h"
#include "compiler/frmHHC.h"
#include "platform/ConsoleMessageLoop.h"
#include "platform/IMessageBoxes.h"
#include "platform/Platform.h"
#include "platform/PosixProcessRunner.h"
#include "support/CRegistry.h"
#include "support/WorkshopKey.h"
#include "testing/FakeProcessRunner.h"
#include "testing/FakeRegistryStore.h"

extern char** environ;

namespace corvina {
namespace {

constexpr long long kFloodBytes = 100LL * 1024 * 1024;

std::string ChildPath() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (self.parent_path().parent_path() / "bin" / "corvina_test_child").string();
}

class SilentBoxes : public IMessageBoxes {
 public:
  Answer Show(const MessageBoxRequest&) override { return Answer::kOk; }
};

void BM_RunnerDrain(benchmark::State& state) {
  SilentBoxes boxes;
  ConsoleMessageLoop loop;
  PosixProcessRunner runner;
  Platform platform;
  platform.message_boxes = &boxes;
  platform.message_loop = &loop;
  platform.processes = &runner;
  ScopedPlatform scoped(platform);
  const std::string line = "\"" + ChildPath() + "\" flood " + std::to_string(kFloodBytes);
  size_t pieces = 0;
  for (auto _ : state) {
    CSpawnConsoleApp app;
    app.OnProcessOutputs = [&](std::string_view) { ++pieces; };
    benchmark::DoNotOptimize(app.ExecuteApp(line, ""));
  }
  benchmark::DoNotOptimize(pieces);
  state.SetBytesProcessed(state.iterations() * kFloodBytes);
}
BENCHMARK(BM_RunnerDrain)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same child, its output drained with plain read() calls into a 64 KiB buffer.
void BM_BaselineReadPipe(benchmark::State& state) {
  const std::string child = ChildPath();
  const std::string bytes = std::to_string(kFloodBytes);
  for (auto _ : state) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) state.SkipWithError("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<char*> argv = {const_cast<char*>(child.c_str()), const_cast<char*>("flood"),
                               const_cast<char*>(bytes.c_str()), nullptr};
    pid_t pid;
    ::posix_spawn(&pid, child.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::vector<char> buffer(64 * 1024);
    long long total = 0;
    for (ssize_t n; (n = ::read(fds[0], buffer.data(), buffer.size())) > 0;)
      total += n;
    ::close(fds[0]);
    int status;
    ::waitpid(pid, &status, 0);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * kFloodBytes);
}
BENCHMARK(BM_BaselineReadPipe)->Unit(benchmark::kMillisecond)->UseRealTime();

// The log window fed N MB of 64-byte lines by an in-memory child: linear cost means the time
// per MB stays flat from 1 to 16 MB.
void BM_LogWindowPerMegabyte(benchmark::State& state) {
  const size_t megabytes = static_cast<size_t>(state.range(0));
  SilentBoxes boxes;
  ConsoleMessageLoop loop;
  FakeProcessRunner runner;
  FakeRegistryStore registry;
  Platform platform;
  platform.message_boxes = &boxes;
  platform.message_loop = &loop;
  platform.processes = &runner;
  platform.registry = &registry;
  ScopedPlatform scoped(platform);
  CRegistry key;
  key.Init(kHkeyCurrentUser);
  benchmark::DoNotOptimize(key.SetValue(kWorkshopKey, kInstallDir, RegValue("/hhw")));
  std::string block;
  while (block.size() < 64 * 1024)
    block += "Processing a-page-of-the-site-with-a-long-name/page-0001.htm\r\n";
  block.resize(64 * 1024);
  for (auto _ : state) {
    state.PauseTiming();
    runner.output.clear();
    for (size_t i = 0; i < megabytes * 16; ++i)
      runner.output.push_back(block);
    auto form = std::make_unique<frmHHC>();
    form->FilesCount = 1000;
    state.ResumeTiming();
    benchmark::DoNotOptimize(form->Execute("/site", "p.tmp"));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(megabytes) * 1024 * 1024);
}
BENCHMARK(BM_LogWindowPerMegabyte)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvina

BENCHMARK_MAIN();
