// Site host speed: opening and refreshing a site of 100,000 files beside `find | sort` and a
// plain std::filesystem listing of the same tree, reading the titles and keywords of 10,000
// pages, and reading whole pages for their links beside the HTML parser's tree of them.
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
#include "sitehost/PageParse.h"
#include "sitehost/PageReader.h"

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

// 500 pages written as manual generators write them: a title with a reference, a side bar
// and body of links, code with entities.
const std::vector<std::string>& ManualPages() {
  static const std::vector<std::string> pages = [] {
    std::vector<std::string> made;
    std::mt19937 random(7);
    for (int n = 0; n < 500; ++n) {
      std::string page =
          "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n<title>mod" +
          std::to_string(n) +
          " &#8212; Manual</title>\n<link rel=\"stylesheet\" href=\"_static/theme.css\" "
          "type=\"text/css\" />\n<script src=\"_static/doc.js\"></script>\n</head>\n<body>\n";
      for (int i = 0; i < 300; ++i) {
        page += "<div class=\"section\"><p>Text " + std::to_string(random() % 1000) +
                " with <code>a &lt; b</code> and <a class=\"reference internal\" href=\"mod" +
                std::to_string(random() % 500) + ".html#x" + std::to_string(i) +
                "\" title=\"x\"><span>link</span></a>.</p></div>\n";
      }
      made.push_back(page + "</body>\n</html>\n");
    }
    return made;
  }();
  return pages;
}

void ReadPagesWith(benchmark::State& state, sitehost::PageFacts (*read)(std::string_view)) {
  size_t links = 0;
  for (auto _ : state) {
    for (const std::string& page : ManualPages())
      links += read(page).links.size();
  }
  benchmark::DoNotOptimize(links);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 500 *
                          static_cast<int64_t>(ManualPages().front().size()));
}

// The baseline: the parser builds the tree of each page, which is walked.
void BM_BaselinePageTree(benchmark::State& state) {
  ReadPagesWith(state, [](std::string_view page) {
    return sitehost::ParsePageTree(sitehost::DecodePageBytes(page), sitehost::PageParts::kAll);
  });
}
BENCHMARK(BM_BaselinePageTree)->Unit(benchmark::kMillisecond);

// The parser's events, without a tree.
void BM_PageEvents(benchmark::State& state) {
  ReadPagesWith(state, [](std::string_view page) {
    return sitehost::ParsePageEvents(sitehost::DecodePageBytes(page), sitehost::PageParts::kAll);
  });
}
BENCHMARK(BM_PageEvents)->Unit(benchmark::kMillisecond);

// What a site read uses: the plain reading, the parser's events where it is not sure.
void BM_ReadPageLinks(benchmark::State& state) {
  ReadPagesWith(state, [](std::string_view page) {
    return sitehost::ParsePage(page, sitehost::PageParts::kAll);
  });
}
BENCHMARK(BM_ReadPageLinks)->Unit(benchmark::kMillisecond);

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
