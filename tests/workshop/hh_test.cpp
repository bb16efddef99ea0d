#include <chm_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "tests/workshop/HhTestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::PatchFileBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

using hh_testing::CompileSite;
using hh_testing::FilesBelow;
using hh_testing::kHh;
using hh_testing::Lines;

// The files libchm's enumeration lists.
int EnumeratedFiles(const fs::path& chm) {
  chmFile* file = chm_open(chm.c_str());
  int count = 0;
  chm_enumerate(
      file, CHM_ENUMERATE_FILES | CHM_ENUMERATE_NORMAL,
      [](chmFile*, chmUnitInfo*, void* context) {
        ++*static_cast<int*>(context);
        return CHM_ENUMERATOR_CONTINUE;
      },
      &count);
  chm_close(file);
  return count;
}

std::map<std::string, std::string> SmallSite() {
  std::string binary;
  for (int i = 0; i < 70000; ++i)
    binary += static_cast<char>((i * 7919) >> 3);
  return {
      {"index.htm",
       "<html><head><title>Home</title></head><body><a href=\"b.htm\">b</a>"
       "</body></html>\r\n"},
      {"b.htm", "<html><head><title>B</title></head><body>b</body></html>"},
      {"caf\xC3\xA9.htm", "<html><head><title>Caf\xC3\xA9</title></head><body></body></html>"},
      {"images/logo.gif", std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14)},
      {"style/deep/site.css", "body { color: black }\n"},
      {"data/big.bin", binary},
  };
}

TEST(HhDecompileTest, WritesEverySourceFileWithItsBytes) {
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  TempDir temp;
  const auto site = SmallSite();
  const fs::path chm = CompileSite(temp / "site", site);
  testing::ProgramRun result =
      testing::RunProgram({kHh, "-decompile", (temp / "out").string(), chm.string()});
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;

  EXPECT_EQ(FilesBelow(temp / "out"), site);
  // One line per file, then the summary; the compiler's own files (#SYSTEM, #TOPICS, ...) are
  // neither written nor named.
  std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), site.size() + 1) << result.out;
  EXPECT_EQ(lines.back(), "6 files extracted to \"" + (temp / "out").string() + "\".");
  lines.pop_back();
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> names;
  for (const auto& [name, bytes] : site)
    names.push_back(name);
  EXPECT_EQ(lines, names);
  EXPECT_EQ(result.err, "");
}

TEST(HhDecompileTest, ListsTheChunkThatTheHeaderSkips) {
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  TempDir temp;
  std::map<std::string, std::string> site;
  for (int i = 0; i < 400; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "chapter/a-rather-long-page-name-%04d.htm", i);
    site[name] = "<html><head><title>" + std::to_string(i) + "</title></head></html>";
  }
  const fs::path chm = CompileSite(temp / "site", site);
  // The fault this guards against: libchm's enumeration misses the first listing chunk.
  ASSERT_LT(EnumeratedFiles(chm), 400);

  testing::ProgramRun result =
      testing::RunProgram({kHh, "-decompile", (temp / "out").string(), chm.string()});
  EXPECT_EQ(result.exit_code, 0) << result.out;
  EXPECT_EQ(FilesBelow(temp / "out"), site);
}

TEST(HhDecompileTest, RefusesNamesThatLeaveTheFolder) {
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  TempDir temp;
  const fs::path chm = CompileSite(temp / "site", {{"aaaa.htm", "a"},
                                                   {"bbbb.htm", "b"},
                                                   {"cccc.htm", "c"},
                                                   {"dddd.htm", "d"},
                                                   {"eeee.htm", "e"},
                                                   {"ffff.htm", "f"}});
  PatchFileBytes(chm, "/aaaa.htm", "/../a.htm");
  PatchFileBytes(chm, "/bbbb.htm", "//tmp.htm");
  PatchFileBytes(chm, "/cccc.htm", "/..\\c.htm");
  PatchFileBytes(chm, "/dddd.htm", std::string_view("/dd\0d.htm", 9));
  PatchFileBytes(chm, "/ffff.htm", "/./f.htm/");
  const fs::path out = temp / "work" / "out";

  testing::ProgramRun result = testing::RunProgram({kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1);
  const std::string tail = " would be written outside the output folder; it was not extracted";
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                   "HHC6005: Warning: \"/../a.htm\"" + tail,
                                   "HHC6005: Warning: \"//tmp.htm\"" + tail,
                                   "HHC6005: Warning: \"/..\\c.htm\"" + tail,
                                   "HHC6005: Warning: \"/dd\\x00d.htm\"" + tail,
                                   "HHC6005: Warning: \"/./f.htm/\"" + tail,
                                   "eeee.htm",
                                   "1 file extracted to \"" + out.string() + "\"; 5 not extracted.",
                               }));
  EXPECT_EQ(FilesBelow(temp / "work"), (std::map<std::string, std::string>{{"out/eeee.htm", "e"}}));
  EXPECT_FALSE(fs::exists("/tmp.htm"));
}

TEST(HhDecompileTest, NeverWritesThroughSymbolicLinksOrHardLinks) {
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  TempDir temp;
  const fs::path chm = CompileSite(
      temp / "site",
      {{"index.htm", "new index"}, {"images/a.gif", "new gif"}, {"page.htm", "new page"}});
  const fs::path out = temp / "out";
  WriteFileBytes(temp / "outside" / "secret.txt", "secret");
  fs::create_directories(out);
  fs::create_symlink(temp / "outside", out / "images");
  fs::create_symlink(temp / "outside" / "secret.txt", out / "index.htm");
  fs::create_hard_link(temp / "outside" / "secret.txt", out / "page.htm");

  testing::ProgramRun result = testing::RunProgram({kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1);
  std::vector<std::string> lines = Lines(result.out);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "1 file extracted to \"" + out.string() + "\"; 3 not extracted.",
                       "HHC6006: Warning: " + (out / "images").string() +
                           " is a symbolic link; \"/images/\" was not extracted",
                       "HHC6006: Warning: " + (out / "images").string() +
                           " is a symbolic link; \"/images/a.gif\" was not extracted",
                       "HHC6006: Warning: " + (out / "index.htm").string() +
                           " is a symbolic link; \"/index.htm\" was not extracted",
                       "page.htm",
                   }));
  EXPECT_EQ(FilesBelow(temp / "outside"),
            (std::map<std::string, std::string>{{"secret.txt", "secret"}}));
  EXPECT_EQ(ReadFileBytes(out / "page.htm"), "new page");
  EXPECT_TRUE(fs::is_symlink(out / "index.htm"));
}

TEST(HhDecompileTest, RefusesWhatIsNotAHelpFile) {
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  TempDir temp;
  const fs::path chm = CompileSite(temp / "site", {{"index.htm", "x"}});
  const std::string good = ReadFileBytes(chm);
  std::mt19937 generator(11);
  std::string random;
  for (int i = 0; i < 5000; ++i)
    random += static_cast<char>(generator());
  std::string bad_directory = good;
  bad_directory.replace(0x48, 8, std::string("\xFF\xFF\xFF\x00\x00\x00\x00\x00", 8));

  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"text", "just some text\n", "is not a compiled help file (.chm)"},
      {"empty", "", "is not a compiled help file (.chm)"},
      {"random", random, "is not a compiled help file (.chm)"},
      {"header only", good.substr(0, 0x60),
       "is damaged: its directory lies beyond the end of the file"},
      {"cut in the directory", good.substr(0, 0x200),
       "is damaged: its directory ends beyond the end of the file"},
      {"bad directory offset", bad_directory,
       "is damaged: its directory lies beyond the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path input = temp / "input.chm";
    WriteFileBytes(input, c.bytes);
    testing::ProgramRun result =
        testing::RunProgram({kHh, "-decompile", (temp / "out").string(), input.string()});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.out, "HHC6002: Error: \"" + input.string() + "\" " + c.message + "\n");
    EXPECT_FALSE(fs::exists(temp / "out"));
  }
}

}  // namespace
}  // namespace corvina
