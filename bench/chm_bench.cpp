// Compiles generated sites with our CHM writer and, in the same run, with chmcmd, without and
// with full-text search. Each compile runs in a fresh process (this program started again with
// --compile-child, or chmcmd), so that its peak memory is measured alone; the end of the run
// prints our time and memory as ratios of chmcmd's for each size both compiled, for the engine
// alone and for the hhc program. The project is shaped as Corvina writes one: contents, index,
// binary contents and index.
// chmcmd with search takes minutes at 20,000 pages: CORVINA_BENCH_FULL=1 adds that size
// (alone: --benchmark_filter='search_all_cores/20000|search/20000|BM_Hhc/20000').
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/ProcessMemory.h"
#include "workshop/chm/ChmCompiler.h"

namespace {

namespace fs = std::filesystem;

// Words made of syllables, so that the text has a vocabulary like real documentation.
std::vector<std::string> MakeVocabulary(std::mt19937& rng) {
  static const char* syllables[] = {"con",  "fig",  "ur",  "a",   "tion", "win",  "dow",  "help",
                                    "top",  "ic",   "in",  "dex", "file", "set",  "ting", "com",
                                    "pile", "er",   "sys", "tem", "page", "link", "ta",   "ble",
                                    "re",   "port", "us",  "age", "op",   "en",   "clo",  "se"};
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    const int parts = 1 + static_cast<int>(rng() % 3);
    for (int p = 0; p < parts; ++p)
      word += syllables[rng() % 32];
    words.push_back(word);
  }
  return words;
}

std::string MakePage(int index, int pages, const std::vector<std::string>& words,
                     std::mt19937& rng) {
  // Zipf-like choice: common words far more often than rare ones.
  auto word = [&]() -> const std::string& {
    const double u = std::uniform_real_distribution<double>(0, 1)(rng);
    return words[static_cast<size_t>(std::pow(u, 3.0) * (words.size() - 1))];
  };
  auto sentence = [&](int count) {
    std::string text = word();
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    for (int i = 1; i < count; ++i)
      text += " " + word();
    return text + ". ";
  };
  std::string page =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html>\r\n<head>\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
      "<title>Topic " +
      std::to_string(index) + ": " + word() + " " + word() +
      "</title>\r\n"
      "<link rel=\"stylesheet\" type=\"text/css\" href=\"../style.css\">\r\n</head>\r\n<body>\r\n"
      "<div class=\"nav\"><a href=\"page" +
      std::to_string((index + pages - 1) % pages) +
      ".htm\">Previous</a> | <a href=\"../index.htm\">Contents</a> | <a href=\"page" +
      std::to_string((index + 1) % pages) + ".htm\">Next</a></div>\r\n<h1>" + sentence(4) +
      "</h1>\r\n";
  const int paragraphs = 2 + static_cast<int>(rng() % 4);
  for (int p = 0; p < paragraphs; ++p) {
    page += "<p>";
    for (int s = 0; s < 1 + static_cast<int>(rng() % 3); ++s)
      page += sentence(6 + rng() % 10);
    page +=
        "See <a href=\"page" + std::to_string(rng() % pages) + ".htm\">" + word() + "</a>.</p>\r\n";
  }
  if (rng() % 3 == 0) {
    page += "<table class=\"params\">\r\n";
    for (int r = 0; r < 3; ++r) {
      page += "<tr><td class=\"name\">" + word() + "</td><td>" + sentence(5) + "</td></tr>\r\n";
    }
    page += "</table>\r\n";
  }
  page +=
      "<div class=\"footer\">Copyright 2026 Corvina. All rights reserved.</div>\r\n"
      "</body>\r\n</html>\r\n";
  return page;
}

// A generated site of `pages` pages, made once per size and removed at exit.
struct Site {
  fs::path folder;
  std::vector<std::string> files;
  uint64_t bytes = 0;
};

class Sites {
 public:
  ~Sites() {
    std::error_code ec;
    for (auto& [count, site] : sites_)
      fs::remove_all(site.folder, ec);
  }
  const Site& Get(int pages) {
    auto it = sites_.find(pages);
    if (it != sites_.end()) return it->second;
    Site site;
    std::string pattern = (fs::temp_directory_path() / "chm-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    site.folder = pattern;
    std::mt19937 rng(20261207);
    const std::vector<std::string> words = MakeVocabulary(rng);
    fs::create_directories(site.folder / "pages");
    // Contents and index shaped as Corvina writes them: every page in the tree, in parts of a
    // hundred pages under a label, and one keyword per page shared by forty pages.
    const std::string head =
        "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n<UL>\r\n";
    std::string toc = head;
    std::string index = head;
    for (int i = 0; i < pages; ++i) {
      const std::string name = "pages/page" + std::to_string(i) + ".htm";
      const std::string page = MakePage(i, pages, words, rng);
      std::ofstream(site.folder / name, std::ios::binary) << page;
      site.files.push_back(name);
      site.bytes += page.size();
      const std::string label = "Topic " + std::to_string(i);
      const std::string local = "<PARAM NAME=\"Local\" VALUE=\"" + name + "\">\r\n</OBJECT>\r\n";
      if (i % 100 == 0) {
        toc += std::string(i == 0 ? "" : "</UL>\r\n") +
               "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"Part " +
               std::to_string(i / 100) + "\">\r\n</OBJECT>\r\n<UL>\r\n";
      }
      toc += "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"" + label + "\">" +
             local;
      index += "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"keyword " +
               std::to_string(i % 500) + "\"><PARAM NAME=\"Name\" VALUE=\"" + label + "\">" + local;
    }
    const std::string tail = "</UL>\r\n</BODY></HTML>";
    std::ofstream(site.folder / "toc.hhc", std::ios::binary)
        << toc << (pages > 0 ? "</UL>\r\n" : "") << tail;
    std::ofstream(site.folder / "index.hhk", std::ios::binary) << index << tail;
    std::ofstream(site.folder / "style.css", std::ios::binary) << "body { font: 10pt Arial; }\r\n";
    site.files.push_back("style.css");
    std::string project =
        "[OPTIONS]\r\nBinary Index=Yes\r\nBinary TOC=Yes\r\nCompiled file=chmcmd.chm\r\n"
        "Contents file=toc.hhc\r\nDefault topic=pages/page0.htm\r\nDefault window=main\r\n"
        "Full-text search=No\r\nIndex file=index.hhk\r\n"
        "Language=0x409 English (United States)\r\nTitle=Bench\r\n\r\n[WINDOWS]\r\n"
        "main=,\"toc.hhc\",\"index.hhk\",,,,,,,0x22420,,0x3006,,,,,,,,0\r\n\r\n[FILES]\r\n";
    for (const std::string& name : site.files)
      project += name + "\r\n";
    std::ofstream(site.folder / "bench.hhp", std::ios::binary) << project;
    std::string search = project;
    search.replace(search.find("Full-text search=No"), 19, "Full-text search=Yes");
    search.replace(search.find("chmcmd.chm"), 10, "chmcmd-search.chm");
    std::ofstream(site.folder / "bench-search.hhp", std::ios::binary) << search;
    // The same project for our hhc, which writes its own output file.
    search.replace(search.find("chmcmd-search.chm"), 17, "hhc-search.chm");
    std::ofstream(site.folder / "hhc-search.hhp", std::ios::binary) << search;
    std::ofstream list(site.folder / "files.txt", std::ios::binary);
    for (const std::string& name : site.files)
      list << name << "\n";
    return sites_.emplace(pages, std::move(site)).first->second;
  }

 private:
  std::map<int, Site> sites_;
};

Sites& AllSites() {
  static Sites sites;
  return sites;
}

corvina::chm::ChmProject ProjectFor(const fs::path& folder, bool search) {
  corvina::chm::ChmProject project;
  project.compiled_file = folder / (search ? "corvina-search.chm" : "corvina.chm");
  project.full_text_search = search;
  project.project_folder = folder;
  project.title = "Bench";
  project.default_topic = "pages/page0.htm";
  project.contents_file = "toc.hhc";
  project.index_file = "index.hhk";
  project.binary_toc = true;
  project.binary_index = true;
  project.default_window = "main";
  project.windows = {"main=,\"toc.hhc\",\"index.hhk\",,,,,,,0x22420,,0x3006,,,,,,,,0"};
  std::ifstream list(folder / "files.txt");
  for (std::string name; std::getline(list, name);)
    project.files.push_back(name);
  return project;
}

// What a compile cost: peak resident memory (KB, -1 when it failed) and processor time, which
// a loaded machine disturbs less than the elapsed time.
struct Cost {
  long peak_kb = -1;
  double cpu_seconds = 0;
};

// Runs a program in a fresh process.
Cost RunProcess(const fs::path& folder, std::vector<std::string> args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(folder.c_str()) != 0) ::_exit(127);
    std::freopen("/dev/null", "w", stdout);
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return {};
  }
  const auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {usage.ru_maxrss, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

void Report(benchmark::State& state, const Site& site, const fs::path& chm, Cost cost) {
  const long peak_kb = cost.peak_kb;
  if (peak_kb < 0) state.SkipWithError("compile failed");
  state.counters["cpu_s"] = cost.cpu_seconds;
  const uint64_t size = fs::exists(chm) ? fs::file_size(chm) : 0;
  state.counters["pages"] = static_cast<double>(site.files.size() - 1);
  state.counters["input_MB"] = static_cast<double>(site.bytes) / 1e6;
  state.counters["chm_bytes"] = static_cast<double>(size);
  state.counters["ratio_%"] = 100.0 * static_cast<double>(size) / static_cast<double>(site.bytes);
  state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}

// Seconds and peak MB of each compile, by (search, pages) and program, for the closing ratios.
struct Measure {
  double seconds = 0;
  double cpu_seconds = 0;
  double peak_mb = 0;
};
std::map<std::pair<bool, int>, std::map<std::string, Measure>>& Measures() {
  static std::map<std::pair<bool, int>, std::map<std::string, Measure>> measures;
  return measures;
}

Cost TimedRun(benchmark::State& state, const fs::path& folder, std::vector<std::string> args,
              bool search, const std::string& program) {
  Cost cost;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    cost = RunProcess(folder, args);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (cost.peak_kb >= 0) {
      Measures()[{search, static_cast<int>(state.range(0))}][program] = {
          took.count(), cost.cpu_seconds, static_cast<double>(cost.peak_kb) / 1024.0};
    }
  }
  return cost;
}

void BM_Corvina(benchmark::State& state, int threads, bool search) {
  const Site& site = AllSites().Get(static_cast<int>(state.range(0)));
  const Cost peak = TimedRun(state, site.folder,
                             {"/proc/self/exe", "--compile-child", site.folder.string(),
                              std::to_string(threads), search ? "1" : "0"},
                             search, threads == 0 ? "corvina" : "corvina_one_core");
  Report(state, site, site.folder / (search ? "corvina-search.chm" : "corvina.chm"), peak);
}

// Our hhc program on the project chmcmd gets (writing its own output file): the engine and
// what hhc itself reads and holds.
void BM_Hhc(benchmark::State& state) {
  const Site& site = AllSites().Get(static_cast<int>(state.range(0)));
  const Cost peak =
      TimedRun(state, site.folder,
               {std::string(CORVINA_BENCH_BIN) + "/hhc", "--engine", "native", "hhc-search.hhp"},
               true, "hhc");
  Report(state, site, site.folder / "hhc-search.chm", peak);
}

// The baseline: chmcmd on the same project, as the Workshop tool would run it.
void BM_BaselineChmcmd(benchmark::State& state, bool search) {
  const Site& site = AllSites().Get(static_cast<int>(state.range(0)));
  const Cost peak = TimedRun(
      state, site.folder, {"chmcmd", search ? "bench-search.hhp" : "bench.hhp"}, search, "chmcmd");
  Report(state, site, site.folder / (search ? "chmcmd-search.chm" : "chmcmd.chm"), peak);
}

void PrintRatios() {
  for (const char* program : {"corvina", "hhc"}) {
    std::printf("\nchmcmd / %s (all cores), same run:\n", program);
    for (const auto& [key, programs] : Measures()) {
      const auto ours = programs.find(program);
      const auto theirs = programs.find("chmcmd");
      if (ours == programs.end() || theirs == programs.end()) continue;
      const Measure& a = theirs->second;
      const Measure& b = ours->second;
      std::printf(
          "  %-9s %6d pages: elapsed %7.2f s / %6.2f s = %5.1fx; processor %7.2f s / %6.2f s = "
          "%5.1fx; memory %6.1f MB / %5.1f MB = %5.1fx\n",
          key.first ? "search" : "no search", key.second, a.seconds, b.seconds,
          a.seconds / b.seconds, a.cpu_seconds, b.cpu_seconds, a.cpu_seconds / b.cpu_seconds,
          a.peak_mb, b.peak_mb, a.peak_mb / b.peak_mb);
    }
  }
}

// Each measure runs once, by the clock on the wall.
void OneRun(benchmark::internal::Benchmark* bench) {
  bench->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
}
BENCHMARK_CAPTURE(BM_Corvina, all_cores, 0, false)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(100000)
    ->Apply(OneRun);
BENCHMARK_CAPTURE(BM_Corvina, one_core, 1, false)->Arg(2000)->Arg(20000)->Apply(OneRun);
BENCHMARK_CAPTURE(BM_BaselineChmcmd, no_search, false)->Arg(2000)->Arg(20000)->Apply(OneRun);
// Search: our cost should grow linearly from 2,000 to 100,000 pages.
BENCHMARK_CAPTURE(BM_Corvina, search_all_cores, 0, true)
    ->Arg(2000)
    ->Arg(20000)
    ->Arg(100000)
    ->Apply(OneRun);
BENCHMARK_CAPTURE(BM_Corvina, search_one_core, 1, true)->Arg(2000)->Arg(20000)->Apply(OneRun);
BENCHMARK(BM_Hhc)->Arg(2000)->Arg(20000)->Apply(OneRun);
BENCHMARK_CAPTURE(BM_BaselineChmcmd, search, true)->Arg(2000)->Apply(OneRun);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--compile-child") {
    corvina::KeepLargeBlocksApart(corvina::chm::kChmLargeBlockBytes);  // as hhc runs the engine
    corvina::chm::ChmCompileOptions options;
    options.threads = std::atoi(argv[3]);
    return corvina::chm::CompileChm(ProjectFor(argv[2], std::string(argv[4]) == "1"), options).ok()
               ? 0
               : 1;
  }
  if (const char* full = std::getenv("CORVINA_BENCH_FULL"); full && std::string(full) == "1") {
    benchmark::RegisterBenchmark("BM_BaselineChmcmd/search", BM_BaselineChmcmd, true)
        ->Arg(20000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintRatios();
  benchmark::Shutdown();
  return 0;
}
