#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "tests/helpers/ChmReadBack.h"
#include "workshop/chm/ChmArchiveWriter.h"
#include "workshop/chm/ChmCompiler.h"

namespace corvina::chm {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out)
    c = static_cast<char>(rng());
  return out;
}

// A site in project order: a contents and an index file, pages in folders, an XHTML page with
// an XML prolog, an upper-case .HTM page, an image, a style sheet, an empty file, data that
// compresses into stored, verbatim and aligned-offset blocks, and 300 linked pages.
std::vector<std::pair<std::string, std::string>> MakeSite() {
  std::vector<std::pair<std::string, std::string>> site = {
      {"toc.hhc",
       "<HTML><BODY><UL>\r\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
       "value=\"Welcome\"><param name=\"Local\" value=\"index.htm\"></OBJECT>\r\n"
       "</UL></BODY></HTML>\r\n"},
      {"index.hhk",
       "<HTML><BODY><UL>\r\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
       "value=\"alpha\"><param name=\"Local\" value=\"index.htm\"></OBJECT>\r\n"
       "</UL></BODY></HTML>\r\n"},
      {"index.htm",
       "<html><head><title>Welcome   Page</title></head><body><p>Hello</p></body></html>"},
      {"sub/Page Two.HTM", "<HTML><HEAD><TITLE>Second Topic</TITLE></HEAD><BODY>Two</BODY></HTML>"},
      {"xhtml.html",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
       "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
       "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>XHTML "
       "Page</title></head><body><p>x</p></body></html>\n"},
      {"images/logo.png", RandomBytes(5000, 1)},
      {"style.css", "body { font-family: Arial; }\r\n"},
      {"empty.txt", ""},
      {"data/noise.bin", RandomBytes(150000, 2)},
      {"data/zeros.bin", std::string(100000, '\0')},
      {"data/records.bin", ""},
  };
  for (uint32_t i = 0; site.back().second.size() < 150000; ++i)
    site.back().second += RandomBytes(16, i * 2654435761u % 200);
  for (int i = 0; i < 300; ++i) {
    std::string body;
    for (int j = 0; j < 20; ++j) {
      body += "<p>Paragraph " + std::to_string(j) + " of page " + std::to_string(i) +
              " with a <a href=\"p" + std::to_string((i * 7 + j) % 300) +
              ".htm\">link</a>.</p>\r\n";
    }
    site.emplace_back("pages/p" + std::to_string(i) + ".htm",
                      "<html><head><title>Page " + std::to_string(i) + "</title></head><body>" +
                          body + "</body></html>\r\n");
  }
  return site;
}

TEST(ChmCompilerTest, EveryReaderGetsBackEveryFile) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> site = MakeSite();
  ChmProject project;
  project.compiled_file = dir / "out/Demo.chm";
  fs::create_directories(dir / "out");
  project.project_folder = dir / "site";
  project.title = "Demo Help";
  project.default_topic = "index.htm";
  project.contents_file = "toc.hhc";
  project.index_file = "index.hhk";
  project.default_window = "default";
  project.windows = {"default=,\"toc.hhc\",\"index.hhk\",,,,,,,0x23420,,0x3006,,,,,,,,0"};
  for (const auto& [name, bytes] : site) {
    WriteFileBytes(dir / "site" / name, bytes);
    if (name != "toc.hhc" && name != "index.hhk") project.files.push_back(name);
  }
  std::vector<std::string> progress;
  ChmCompileOptions options;
  options.progress = [&](std::string_view name) { progress.emplace_back(name); };
  options.warning = [](ChmWarning, std::string_view text) { ADD_FAILURE() << "warning: " << text; };
  ASSERT_TRUE(CompileChm(project, options).ok());
  const fs::path chm = project.compiled_file;
  // Contents and index first, then the files in project order, each once.
  std::vector<std::string> expected_progress = {"toc.hhc", "index.hhk"};
  expected_progress.insert(expected_progress.end(), project.files.begin(), project.files.end());
  EXPECT_EQ(progress, expected_progress);
  // Nothing but the compiled file is left in its folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);

  // The site, byte for byte, from every reader.
  const auto expect_site = [&](const char* reader, const std::map<std::string, std::string>& got) {
    for (const auto& [name, bytes] : site) {
      auto it = got.find("/" + name);
      ASSERT_NE(it, got.end()) << reader << ": " << name;
      EXPECT_TRUE(it->second == bytes) << reader << ": " << name;
    }
  };
  const auto expect_extracted = [&](const char* reader, const fs::path& folder) {
    for (const auto& [name, bytes] : site)
      EXPECT_TRUE(ReadFileBytes(folder / name) == bytes) << reader << ": " << name;
  };
  const readback::ChmContents libchm = readback::ReadWithLibchm(chm);
  EXPECT_EQ(libchm.error, "");
  EXPECT_TRUE(libchm.warnings.empty());
  expect_site("libchm", libchm.files);
  for (const char* name : {"/index.htm", "/SUB/page two.htm", "/pages/P299.HTM"}) {
    std::string bytes;
    EXPECT_TRUE(readback::LookUpWithLibchm(chm, name, bytes)) << name;
  }

  const readback::ChmContents mspack = readback::ReadWithLibmspack(chm);
  EXPECT_EQ(mspack.error, "");
  EXPECT_TRUE(mspack.warnings.empty()) << mspack.warnings.front();
  expect_site("libmspack", mspack.files);
  EXPECT_EQ(readback::FastFindWithLibmspack(chm, mspack.files), std::vector<std::string>{});

  // chmls lists every name and extracts every file.
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const std::string listing = RunProgram({"/usr/bin/chmls", "-n", "list", chm.string()}).out;
  for (const auto& [name, bytes] : site)
    EXPECT_NE(listing.find("/" + name), std::string::npos) << name;
  EXPECT_EQ(RunProgram({"/usr/bin/chmls", "extractall", chm.string(), (dir / "chmls").string()})
                .exit_code,
            0);
  expect_extracted("chmls", dir / "chmls");
  // 7-Zip extracts every file.
  EXPECT_EQ(
      RunProgram({"/usr/bin/7z", "x", "-y", "-o" + (dir / "7z").string(), chm.string()}).exit_code,
      0);
  expect_extracted("7z", dir / "7z");

  // chmls reads the project's system information; it prints each string with its NUL.
  const std::string system = RunProgram({"/usr/bin/chmls", "printsystem", chm.string()}).out;
  for (const std::string line : {
           "(0)  Contents file from [options]  :toc.hhc",
           "(1)  Index file from [options]     :index.hhk",
           "(2)  Default topic from [options]  :index.htm",
           "(3)  Title from [options]          :Demo Help",
           "(5)  Default Window from [options] :default",
       }) {
    EXPECT_NE(system.find(line + '\0' + '\n'), std::string::npos) << line << system;
  }
  const std::string windows = RunProgram({"/usr/bin/chmls", "printwindows", chm.string()}).out;
  EXPECT_NE(windows.find("toc.hhc"), std::string::npos) << windows;
  const std::string topics = RunProgram({"/usr/bin/chmls", "printtopics", chm.string()}).out;
  for (const char* title : {"Welcome Page", "Second Topic", "XHTML Page", "Page 299"})
    EXPECT_NE(topics.find(title), std::string::npos) << title << topics;
}

}  // namespace
}  // namespace corvina::chm
