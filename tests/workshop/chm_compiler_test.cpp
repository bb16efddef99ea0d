#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/ChmArchiveWriter.h"
#include "workshop/chm/ChmCompiler.h"
#include "workshop/chm/fuzz/ChmReadBack.h"

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

// A small site: pages in folders, an XHTML page with an XML prolog, an upper-case .HTM page,
// an image, a style sheet, an empty file, a contents file and an index file.
struct Site {
  std::map<std::string, std::string> files;  // relative name -> bytes
  std::vector<std::string> order;
  void Add(const std::string& name, std::string bytes) {
    order.push_back(name);
    files[name] = std::move(bytes);
  }
};

Site MakeSite(int extra_pages) {
  Site site;
  site.Add("toc.hhc",
           "<HTML><BODY><UL>\r\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
           "value=\"Welcome\"><param name=\"Local\" value=\"index.htm\"></OBJECT>\r\n"
           "</UL></BODY></HTML>\r\n");
  site.Add("index.hhk",
           "<HTML><BODY><UL>\r\n<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
           "value=\"alpha\"><param name=\"Local\" value=\"index.htm\"></OBJECT>\r\n"
           "</UL></BODY></HTML>\r\n");
  site.Add("index.htm",
           "<html><head><title>Welcome   Page</title></head><body><p>Hello</p></body></html>");
  site.Add("sub/Page Two.HTM",
           "<HTML><HEAD><TITLE>Second Topic</TITLE></HEAD><BODY>Two</BODY></HTML>");
  site.Add("xhtml.html",
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
           "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>XHTML "
           "Page</title></head><body><p>x</p></body></html>\n");
  site.Add("images/logo.png", RandomBytes(5000, 1));
  site.Add("style.css", "body { font-family: Arial; }\r\n");
  site.Add("empty.txt", "");
  site.Add("data/noise.bin", RandomBytes(150000, 2));  // stored blocks
  site.Add("data/zeros.bin", std::string(100000, '\0'));
  std::string records;  // repeats at multiples of 16 bytes: aligned-offset blocks
  for (uint32_t i = 0; records.size() < 150000; ++i) {
    records += RandomBytes(16, i * 2654435761u % 200);
  }
  site.Add("data/records.bin", records);
  for (int i = 0; i < extra_pages; ++i) {
    std::string body;
    for (int j = 0; j < 20; ++j) {
      body += "<p>Paragraph " + std::to_string(j) + " of page " + std::to_string(i) +
              " with a <a href=\"p" + std::to_string((i * 7 + j) % extra_pages) +
              ".htm\">link</a>.</p>\r\n";
    }
    site.Add("pages/p" + std::to_string(i) + ".htm",
             "<html><head><title>Page " + std::to_string(i) + "</title></head><body>" + body +
                 "</body></html>\r\n");
  }
  return site;
}

class ChmCompilerTest : public ::testing::Test {
 protected:
  ChmProject WriteSite(const Site& site) {
    for (const auto& [name, bytes] : site.files)
      WriteFileBytes(dir_ / ("site/" + name), bytes);
    ChmProject project;
    project.compiled_file = dir_ / "out/Demo.chm";
    fs::create_directories(dir_ / "out");
    project.project_folder = dir_ / "site";
    project.title = "Demo Help";
    project.default_topic = "index.htm";
    project.contents_file = "toc.hhc";
    project.index_file = "index.hhk";
    project.default_window = "default";
    project.windows = {"default=,\"toc.hhc\",\"index.hhk\",,,,,,,0x23420,,0x3006,,,,,,,,0"};
    for (const std::string& name : site.order) {
      if (name != "toc.hhc" && name != "index.hhk") project.files.push_back(name);
    }
    return project;
  }

  TempDir dir_;
};

// The files every reader must give back: the site, byte for byte.
void ExpectSameFiles(const char* reader, const std::map<std::string, std::string>& got,
                     const Site& site) {
  SCOPED_TRACE(reader);
  for (const auto& [name, bytes] : site.files) {
    auto it = got.find("/" + name);
    ASSERT_NE(it, got.end()) << name;
    EXPECT_TRUE(it->second == bytes) << name;
  }
}

TEST_F(ChmCompilerTest, EveryReaderGetsBackEveryFile) {
  const Site site = MakeSite(300);
  const ChmProject project = WriteSite(site);
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
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);

  const readback::ChmContents libchm = readback::ReadWithLibchm(chm);
  EXPECT_EQ(libchm.error, "");
  EXPECT_TRUE(libchm.warnings.empty());
  ExpectSameFiles("libchm", libchm.files, site);
  for (const char* name : {"/index.htm", "/SUB/page two.htm", "/pages/P299.HTM"}) {
    std::string bytes;
    EXPECT_TRUE(readback::LookUpWithLibchm(chm, name, bytes)) << name;
  }

  const readback::ChmContents mspack = readback::ReadWithLibmspack(chm);
  EXPECT_EQ(mspack.error, "");
  EXPECT_TRUE(mspack.warnings.empty()) << mspack.warnings.front();
  ExpectSameFiles("libmspack", mspack.files, site);
  EXPECT_EQ(readback::FastFindWithLibmspack(chm, mspack.files), std::vector<std::string>{});

  // chmls lists every name and extracts every file.
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const std::string listing = RunProgram({"/usr/bin/chmls", "-n", "list", chm.string()}).out;
  for (const std::string& name : site.order) {
    EXPECT_NE(listing.find("/" + name), std::string::npos) << name;
  }
  int code = RunProgram({"/usr/bin/chmls", "extractall", chm.string(), (dir_ / "chmls").string()})
                 .exit_code;
  EXPECT_EQ(code, 0);
  for (const auto& [name, bytes] : site.files) {
    EXPECT_TRUE(ReadFileBytes(dir_ / "chmls" / name) == bytes) << "chmls: " << name;
  }

  // 7-Zip extracts every file.
  code =
      RunProgram({"/usr/bin/7z", "x", "-y", "-o" + (dir_ / "7z").string(), chm.string()}).exit_code;
  EXPECT_EQ(code, 0);
  for (const auto& [name, bytes] : site.files) {
    EXPECT_TRUE(ReadFileBytes(dir_ / "7z" / name) == bytes) << "7z: " << name;
  }
}

TEST_F(ChmCompilerTest, ChmlsPrintsTheProjectsSystemInformation) {
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const ChmProject project = WriteSite(MakeSite(3));
  ASSERT_TRUE(CompileChm(project).ok());
  const std::string system =
      RunProgram({"/usr/bin/chmls", "printsystem", project.compiled_file.string()}).out;
  SCOPED_TRACE(system);
  // chmls prints each string with its terminating NUL.
  for (const std::string line : {
           "(0)  Contents file from [options]  :toc.hhc",
           "(1)  Index file from [options]     :index.hhk",
           "(2)  Default topic from [options]  :index.htm",
           "(3)  Title from [options]          :Demo Help",
           "(5)  Default Window from [options] :default",
       }) {
    EXPECT_NE(system.find(line + '\0' + '\n'), std::string::npos) << line;
  }
  // chmls parses the stored contents and index files and writes them out again.
  (void)(RunProgram({"/usr/bin/chmls", "extracttoc", project.compiled_file.string(),
                     (dir_ / "toc.out").string()}));
  const std::string toc = ReadFileBytes(dir_ / "toc.out");
  EXPECT_NE(toc.find("\"Welcome\""), std::string::npos) << toc;
  EXPECT_NE(toc.find("\"index.htm\""), std::string::npos) << toc;
  (void)(RunProgram({"/usr/bin/chmls", "extractindex", project.compiled_file.string(),
                     (dir_ / "index.out").string()}));
  const std::string index = ReadFileBytes(dir_ / "index.out");
  EXPECT_NE(index.find("\"alpha\""), std::string::npos) << index;
  const std::string windows =
      RunProgram({"/usr/bin/chmls", "printwindows", project.compiled_file.string()}).out;
  EXPECT_NE(windows.find("toc.hhc"), std::string::npos) << windows;
  const std::string topics =
      RunProgram({"/usr/bin/chmls", "printtopics", project.compiled_file.string()}).out;
  SCOPED_TRACE(topics);
  for (const char* title : {"Welcome Page", "Second Topic", "XHTML Page", "Page 2"}) {
    EXPECT_NE(topics.find(title), std::string::npos) << title;
  }
}

}  // namespace
}  // namespace corvina::chm
