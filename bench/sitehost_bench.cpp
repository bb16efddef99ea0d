// Site host speed: opening and refreshing a site of 100,000 files beside `find | sort` and a
// plain std::filesystem listing of the same tree, and reading the titles and keywords of
// 10,000 pages.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sitehost/FolderHostApplication.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;  // 100,000 files
constexpr int kPages = 10000;

fs::path g_root;

std::string PageText(std::mt19937& random, int n) {
  std::string words;
  for (int i = 0; i < 200; ++i)
    words += "word" + std::to_string(random() % 1000) + " ";
  return "<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Page " + std::to_string(n) +
         " of the bench</title>\n<meta name=\"keywords\" content=\"k" + std::to_string(n % 97) +
         ";bench, page\">\n<link rel=stylesheet "
         "href=\"../style.css\">\n</head>\n<body>\n<h1>Page " +
         std::to_string(n) + "</h1>\n<p>" + words + "</p>\n<p><a href=\"page" +
         std::to_string(n + 1) + ".htm\">next</a></p>\n</body>\n</html>\n";
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// 100,000 small files in 1,000 folders, and 10,000 real pages in 100 folders.
void MakeTrees() {
  std::string pattern = (fs::temp_directory_path() / "corvina-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  g_root = pattern;
  std::mt19937 random(42);
  for (int d = 0; d < kFolders; ++d) {
    const fs::path folder = g_root / "large" / ("folder " + std::to_string(d));
    fs::create_directories(folder);
    for (int f = 0; f < kFilesPerFolder; ++f) {
      WriteFile(folder / ("file" + std::to_string(random() % 1000000) + "_" + std::to_string(f) +
                          (f % 3 == 0 ? ".gif" : ".htm")),
                "x");
    }
  }
  for (int n = 0; n < kPages; ++n) {
    const fs::path folder = g_root / "pages" / ("part" + std::to_string(n / 100));
    if (n % 100 == 0) fs::create_directories(folder);
    WriteFile(folder / ("page" + std::to_string(n) + ".htm"), PageText(random, n));
  }
}

void BM_OpenSite(benchmark::State& state) {
  for (auto _ : state) {
    auto host = OpenSite(g_root / "large");
    if (!host.ok() || (*host)->ActiveWeb()->AllFiles().size() != kFolders * kFilesPerFolder) {
      state.SkipWithError("wrong listing");
      return;
    }
    benchmark::DoNotOptimize(host);
  }
}
BENCHMARK(BM_OpenSite)->Unit(benchmark::kMillisecond);

void BM_Refresh(benchmark::State& state) {
  auto host = OpenSite(g_root / "large");
  for (auto _ : state) {
    if (!(*host)->ActiveWeb()->Refresh().ok()) state.SkipWithError("refresh failed");
    benchmark::DoNotOptimize((*host)->ActiveWeb()->AllFiles().data());
  }
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond);

struct PipeClose {
  void operator()(std::FILE* pipe) const { ::pclose(pipe); }
};

void BM_BaselineFindSort(benchmark::State& state) {
  const std::string command = "find '" + (g_root / "large").string() + "' -type f | LC_ALL=C sort";
  for (auto _ : state) {
    std::unique_ptr<std::FILE, PipeClose> pipe(::popen(command.c_str(), "r"));
    std::string out;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
      out.append(buffer, got);
    if (std::count(out.begin(), out.end(), '\n') != kFolders * kFilesPerFolder) {
      state.SkipWithError("wrong listing");
    }
  }
}
BENCHMARK(BM_BaselineFindSort)->Unit(benchmark::kMillisecond);

void BM_BaselineFilesystemListing(benchmark::State& state) {
  const fs::path site = g_root / "large";
  for (auto _ : state) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(site, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_regular_file(ec)) files.push_back(it->path().lexically_relative(site).string());
    }
    std::sort(files.begin(), files.end());
    benchmark::DoNotOptimize(files.data());
  }
}
BENCHMARK(BM_BaselineFilesystemListing)->Unit(benchmark::kMillisecond);

// Each round refreshes (which forgets what was read) and reads every title and keyword text.
void BM_ReadTitlesAndKeywords(benchmark::State& state) {
  auto host = OpenSite(g_root / "pages");
  IWeb* web = (*host)->ActiveWeb();
  for (auto _ : state) {
    if (!web->Refresh().ok()) state.SkipWithError("refresh failed");
    size_t bytes = 0;
    for (IWebFile* file : web->AllFiles()) {
      bytes += file->Title().size() + file->Property("keywords").value_or("").size();
    }
    if (web->AllFiles().size() != kPages) state.SkipWithError("wrong listing");
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_ReadTitlesAndKeywords)->Unit(benchmark::kMillisecond);

// The same refresh without reading, to separate reading from listing.
void BM_RefreshPagesOnly(benchmark::State& state) {
  auto host = OpenSite(g_root / "pages");
  for (auto _ : state) {
    if (!(*host)->ActiveWeb()->Refresh().ok()) state.SkipWithError("refresh failed");
  }
}
BENCHMARK(BM_RefreshPagesOnly)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvina

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  corvina::MakeTrees();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(corvina::g_root, ec);
  return 0;
}
