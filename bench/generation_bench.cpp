// Writing the index, contents and project files for synthetic sites of 10k to 1M pages
// (navigation five levels deep, one keyword per page), beside a baseline that writes the same
// number of bytes with one plain write per file.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "mainwindow/frmMain.h"
#include "platform/IMessageBoxes.h"
#include "platform/Platform.h"
#include "platform/PosixFileSystem.h"
#include "shared/Globals.h"
#include "testing/FakeHost.h"

namespace corvina {
namespace {

class SilentBoxes : public IMessageBoxes {
 public:
  Answer Show(const MessageBoxRequest&) override { return Answer::kOk; }
};

// A site of `pages` pages whose navigation is a tree five levels deep: each node has k
// children, k being the fifth root of the page count.
std::unique_ptr<FakeWeb> MakeSite(const std::string& folder, int pages) {
  auto web = std::make_unique<FakeWeb>(folder);
  const int k = static_cast<int>(std::ceil(std::pow(pages, 0.2)));
  std::vector<FakeNode*> nodes;
  nodes.reserve(static_cast<size_t>(pages));
  for (int i = 0; i < pages; ++i) {
    FakeFile& file =
        web->AddFile("section" + std::to_string(i % 97) + "/page" + std::to_string(i) + ".htm",
                     "Page number " + std::to_string(i));
    file.keywords = "keyword " + std::to_string(i % 1000);
    FakeNode* parent = i < k ? nullptr : nodes[static_cast<size_t>((i - k) / k)];
    nodes.push_back(&web->AddNode(file.title, &file, parent));
  }
  return web;
}

struct Folder {
  Folder() {
    char name[] = "/tmp/corvina-bench-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string path;
};

void BM_WriteProjectFiles(benchmark::State& state) {
  Folder folder;
  SilentBoxes boxes;
  PosixFileSystem files;
  ScopedPlatform platform(Platform{.message_boxes = &boxes, .file_system = &files});
  std::unique_ptr<FakeWeb> web = MakeSite(folder.path, static_cast<int>(state.range(0)));
  FakeHostApplication host;
  host.web = web.get();
  Globals::HostApplication = &host;
  Globals::SiteFolder = folder.path;
  size_t bytes = 0;
  for (auto _ : state) {
    frmMain form;
    form.mWeb = web.get();
    form.mUseKeywords = true;
    form.suiParams["OUTPUT"].Value = folder.path + "/out.chm";
    if (!form.BuildIndexFile() || !form.BuildContentFile() || !form.BuildProjectFile()) {
      state.SkipWithError("a writer failed");
      break;
    }
    state.PauseTiming();
    bytes = 0;
    for (const std::string* path :
         {&form.mIndexFile, &form.mContentsFile, &form.mProjectFile, &form.mDerivedPage}) {
      bytes += std::filesystem::file_size(*path);
      std::filesystem::remove(*path);
    }
    state.ResumeTiming();
  }
  Globals::HostApplication = nullptr;
  state.counters["pages"] = static_cast<double>(state.range(0));
  state.counters["MB_written"] = static_cast<double>(bytes) / 1e6;
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_WriteProjectFiles)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The baseline: the same number of bytes (about 900 per page) written with one write each.
void BM_BaselineWriteBytes(benchmark::State& state) {
  Folder folder;
  const std::string text(static_cast<size_t>(state.range(0)) * 900, 'x');
  for (auto _ : state) {
    std::FILE* file = std::fopen((folder.path + "/baseline").c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  state.SetBytesProcessed(static_cast<int64_t>(text.size()) * state.iterations());
}
BENCHMARK(BM_BaselineWriteBytes)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvina

BENCHMARK_MAIN();
