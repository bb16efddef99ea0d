// One very large page (12.5, 25 and 50 MB of text, links and anchors) compiled by our hhc with
// full-text search, beside its baseline in the same run: the same paragraphs spread over pages
// of about 40 KB. Each compile runs in a fresh process, so its peak memory is its own. The end
// of the run prints, for each size, the large page's processor time and peak memory over the
// baseline's (near 1: one large page costs what its bytes cost), and how both grow from the
// smallest size (linear: 2 and 4 times).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kBin = CORVINA_BENCH_BIN;
constexpr size_t kSmallPageBytes = 40 * 1000;
constexpr int kTargets = 50;  // small pages the paragraphs link to, each with a few anchors

struct Cost {
  double cpu_seconds = 0;  // user + system
  double peak_mb = 0;
  bool ok = false;
};

Cost RunHhc(const fs::path& folder, const std::string& project) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const std::string hhc = kBin + "/hhc";
  std::vector<char*> args = {const_cast<char*>(hhc.c_str()), const_cast<char*>("--engine"),
                             const_cast<char*>("native"), const_cast<char*>(project.c_str()),
                             nullptr};
  Cost cost;
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
      cost.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
      cost.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
      cost.ok = true;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return cost;
}

std::string Project(const std::string& chm, const std::vector<std::string>& pages) {
  std::string text = "[OPTIONS]\r\nCompiled file=" + chm + "\r\nDefault topic=" + pages.front() +
                     "\r\nFull-text search=Yes\r\nTitle=Page bench\r\n\r\n[FILES]\r\n";
  for (const std::string& page : pages)
    text += page + "\r\n";
  return text;
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A folder with the same paragraphs as one page (large.hhp) and as pages of about 40 KB
// (small.hhp); removed when the run ends.
class Site {
 public:
  explicit Site(size_t bytes) {
    std::string pattern = (fs::temp_directory_path() / "chm-page-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    std::mt19937 rng(20261207);
    std::vector<std::string> vocabulary;
    for (int i = 0; i < 50000; ++i) {
      std::string word;
      for (int n = 3 + static_cast<int>(rng() % 8); n > 0; --n)
        word += static_cast<char>('a' + rng() % 26);
      vocabulary.push_back(word);
    }
    const std::string head =
        "<html><head><title>Large page</title>"
        "<link rel=\"stylesheet\" href=\"style.css\"></head><body>\n";
    const std::string tail = "</body></html>\n";
    // The large page is written as it grows: the peak memory a child process reports includes
    // this process's peak at the time it was started.
    std::ofstream large(folder_ / "large.htm", std::ios::binary);
    large << head;
    bytes_ = head.size();
    std::string small = head;
    std::vector<std::string> small_pages;
    for (int i = 0; bytes_ < bytes; ++i) {
      // Four paragraphs to a group, so that a link to the group's first one stays on its page
      // when the paragraphs are spread over small pages.
      std::string paragraph = "<p id=\"p" + std::to_string(i) + "\">";
      for (int w = 0; w < 12; ++w)
        paragraph += vocabulary[rng() % vocabulary.size()] + " ";
      paragraph += "<a href=\"target" + std::to_string(i % kTargets) + ".htm#s" +
                   std::to_string(i % 7) + "\">see</a> <a href=\"#p" + std::to_string(i - i % 4) +
                   "\">back</a> <img src=\"img" + std::to_string(i % 20) + ".png\"></p>\n";
      large << paragraph;
      bytes_ += paragraph.size();
      small += paragraph;
      if (i % 4 == 3 && small.size() >= kSmallPageBytes) {
        small_pages.push_back("small" + std::to_string(small_pages.size()) + ".htm");
        Write(folder_ / small_pages.back(), small + tail);
        small = head;
      }
    }
    small_pages.push_back("small" + std::to_string(small_pages.size()) + ".htm");
    Write(folder_ / small_pages.back(), small + tail);
    large << tail;
    bytes_ += tail.size();
    large.close();
    for (int t = 0; t < kTargets; ++t) {
      std::string target = "<html><head><title>Target</title></head><body>";
      for (int s = 0; s < 7; ++s)
        target += "<h2 id=\"s" + std::to_string(s) + "\">Section</h2>";
      Write(folder_ / ("target" + std::to_string(t) + ".htm"), target + "</body></html>\n");
    }
    for (int m = 0; m < 20; ++m)
      Write(folder_ / ("img" + std::to_string(m) + ".png"), "image " + std::to_string(m));
    Write(folder_ / "style.css", "p { margin: 0 }\n");
    Write(folder_ / "large.hhp", Project("large.chm", {"large.htm"}));
    Write(folder_ / "small.hhp", Project("small.chm", small_pages));
  }
  ~Site() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  const fs::path& folder() const { return folder_; }
  size_t bytes() const { return bytes_; }

 private:
  fs::path folder_;
  size_t bytes_ = 0;
};

Site& SiteOf(int mb_times_10) {
  static std::map<int, std::unique_ptr<Site>> sites;
  std::unique_ptr<Site>& site = sites[mb_times_10];
  if (!site) site = std::make_unique<Site>(static_cast<size_t>(mb_times_10) * 1024 * 1024 / 10);
  return *site;
}

// Cost by size (MB x 10) and by "large" or "small".
std::map<int, std::map<std::string, Cost>>& Costs() {
  static std::map<int, std::map<std::string, Cost>> costs;
  return costs;
}

void BM_Compile(benchmark::State& state, const std::string& which) {
  const int size = static_cast<int>(state.range(0));
  const Site& site = SiteOf(size);
  Cost cost;
  for (auto _ : state)
    cost = RunHhc(site.folder(), which + ".hhp");
  if (!cost.ok) {
    state.SkipWithError("hhc failed (is it built?)");
    return;
  }
  Costs()[size][which] = cost;
  state.counters["input_MB"] = static_cast<double>(site.bytes()) / 1e6;
  state.counters["cpu_s"] = cost.cpu_seconds;
  state.counters["peak_MB"] = cost.peak_mb;
  state.counters["MB_per_cpu_s"] = static_cast<double>(site.bytes()) / 1e6 / cost.cpu_seconds;
}

// One large page.
void BM_LargePage(benchmark::State& state) {
  BM_Compile(state, "large");
}
// The baseline: the same paragraphs on pages of about 40 KB.
void BM_BaselineSmallPages(benchmark::State& state) {
  BM_Compile(state, "small");
}

void OneRun(benchmark::internal::Benchmark* bench) {
  bench->Arg(125)->Arg(250)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
}
BENCHMARK(BM_BaselineSmallPages)->Apply(OneRun);
BENCHMARK(BM_LargePage)->Apply(OneRun);

void PrintRatios() {
  const auto& costs = Costs();
  if (costs.empty()) return;
  const int first = costs.begin()->first;
  std::printf("\none large page / pages of 40 KB, same bytes, same run (x = size / %.1f MB):\n",
              first / 10.0);
  for (const auto& [size, by] : costs) {
    const auto large = by.find("large");
    const auto small = by.find("small");
    if (large == by.end() || small == by.end()) continue;
    const auto& base = costs.at(first);
    const bool growth = base.contains("large") && base.contains("small");
    std::printf(
        "  %5.1f MB: processor %5.2fx, memory %5.2fx; growth x%.0f: processor %4.2fx (small "
        "pages %4.2fx), memory %4.2fx (small pages %4.2fx)\n",
        size / 10.0, large->second.cpu_seconds / small->second.cpu_seconds,
        large->second.peak_mb / small->second.peak_mb, static_cast<double>(size) / first,
        growth ? large->second.cpu_seconds / base.at("large").cpu_seconds : 0,
        growth ? small->second.cpu_seconds / base.at("small").cpu_seconds : 0,
        growth ? large->second.peak_mb / base.at("large").peak_mb : 0,
        growth ? small->second.peak_mb / base.at("small").peak_mb : 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintRatios();
  benchmark::Shutdown();
  return 0;
}
