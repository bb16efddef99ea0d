#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/fuzz/ChmReadBack.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using chm::readback::ReadWithLibchm;
using testing::BuiltProgram;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// The "HHC" lines of a log, in order.
std::vector<std::string> MessageLines(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.starts_with("HHC")) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// A site whose pages refer to files in every way a page can: the compiled file must hold
// exactly the files they reach, and the log name exactly the real problems.
class LinkedFilesChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("index.htm",
          "<html><head><title>Home</title>"
          "<link rel=\"stylesheet\" href=\"css/main.css?2022.1\">"
          "<script src=\"js/app.js\"></script>"
          "<style>@import url(\"css/inline.css\"); h1 { background: url(img/h1.png) }</style>"
          "</head><body style=\"background-image: url('img/body.png')\">"
          "<img src=\"IMG/Logo.PNG\"><img src=\"img/missing.gif\">"
          "<a href=\"#local\">here</a><div id=\"local\">x</div>"
          "<a href=\"sub/page.htm#sec\">page</a><a href=\"docs/manual.pdf#page=2\">pdf</a>"
          "<a href=\"javascript:void(0)\">js</a><a href=\"mailto:help@example.org\">mail</a>"
          "<a href=\"ms-its:other.chm::/a.htm\">other</a><a href=\"https://example.org/x.png\">"
          "web</a><a href=\"../outside.png\">out</a><a href=\"index.htm\">self</a>"
          "</body></html>");
    Write("sub/page.htm",
          "<html><head><title>Page</title></head><body><div id=\"sec\">s</div>"
          "<img src=\"../img/missing.gif\"><img src=\"../img/pic%201.png\">"
          "<a href=\"#nowhere\">bad anchor</a><a href=\"../index.htm#local\">back</a>"
          "<a href=\"unlisted.htm\">unlisted</a></body></html>");
    Write("sub/unlisted.htm",
          "<html><head><title>Unlisted</title></head><body><img src=\"deep.png\"></body></html>");
    Write("css/main.css", "@import \"print.css\";\nbody { background: url(../img/bg.gif) }\n");
    Write("css/print.css", "@import url(print.css);\n@font-face { src: url(fonts/f.woff) }\n");
    Write("css/inline.css", "p { color: red }\n");
    for (const char* binary :
         {"js/app.js", "img/h1.png", "img/body.png", "img/Logo.png", "img/bg.gif", "img/pic 1.png",
          "css/fonts/f.woff", "sub/deep.png", "docs/manual.pdf", "img/unused.png"}) {
      Write(binary, std::string("bytes of ") + binary);
    }
    WriteFileBytes(dir_ / "outside.png", "not ours");
  }

  void Write(const std::string& name, const std::string& bytes) {
    WriteFileBytes(site_ / name, bytes);
  }

  // The files of the compiled help file that came from the site (not the compiler's own
  // files, nor the generated contents, index and derived-images files).
  std::set<std::string> SiteFilesIn(const fs::path& chm) {
    const chm::readback::ChmContents contents = ReadWithLibchm(chm);
    EXPECT_EQ(contents.error, "");
    std::set<std::string> names;
    for (const auto& [name, bytes] : contents.files) {
      if (name.starts_with("/#") || name.starts_with("/$") || name.starts_with("/Cor") ||
          name.starts_with("::")) {
        continue;
      }
      names.insert(name);
      const fs::path on_disk = site_ / name.substr(1);
      EXPECT_EQ(bytes, ReadFileBytes(on_disk)) << name;
    }
    return names;
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
  fs::path chm_ = dir_ / "out" / "Links.chm";
};

TEST_F(LinkedFilesChainTest, CorvinaStoresEveryLinkedFileAndWarnsOnlyForRealProblems) {
  fs::create_directories(chm_.parent_path());
  ASSERT_EQ(RunProgram({BuiltProgram("corvina"), "setup"}).exit_code, 0);
  const ProgramRun run =
      RunProgram({BuiltProgram("corvina"), "compile", site_.string(), "-o", chm_.string(),
                  "--default-page", "index.htm", "--no-open", "--yes"});
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  EXPECT_EQ(MessageLines(run.out),
            (std::vector<std::string>{
                "HHC4001: Warning: Found file img/missing.gif while scanning index.htm, but "
                "couldn't find it on disk",
                "HHC4006: Warning: The link \"../outside.png\" in index.htm leads outside the "
                "project folder; the file is not stored.",
                "HHC4004: Warning: Anchor sub/page.htm#nowhere undefined; first use in "
                "sub/page.htm",
            }))
      << run.out;
  // Each line once: the log on stdout, a one-line summary on stderr.
  EXPECT_EQ(run.err.find("HHC4001"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Found file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Corvina: There are warnings while compiling: "), std::string::npos)
      << run.err;

  EXPECT_EQ(
      SiteFilesIn(chm_),
      (std::set<std::string>{
          "/index.htm", "/sub/page.htm", "/sub/unlisted.htm", "/sub/deep.png", "/css/main.css",
          "/css/print.css", "/css/inline.css", "/css/fonts/f.woff", "/js/app.js", "/img/h1.png",
          "/img/body.png", "/img/Logo.png", "/img/bg.gif", "/img/pic 1.png", "/docs/manual.pdf"}));
}

TEST_F(LinkedFilesChainTest, HhcFollowsLinksFromAProjectThatListsOnePage) {
  const std::string project =
      "[OPTIONS]\r\nCompiled file=" + chm_.string() +
      "\r\nDefault topic=index.htm\r\nTitle=Links\r\n\r\n[FILES]\r\nindex.htm\r\n";
  fs::create_directories(chm_.parent_path());
  WriteFileBytes(site_ / "links.hhp", project);
  const ProgramRun run =
      RunProgram({BuiltProgram("hhc"), "--engine", "native", "links.hhp"}, site_);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(MessageLines(run.out).size(), 3u) << run.out;
  EXPECT_NE(run.out.find(", 15 files, 3 warnings."), std::string::npos) << run.out;
  EXPECT_EQ(
      SiteFilesIn(chm_),
      (std::set<std::string>{
          "/index.htm", "/sub/page.htm", "/sub/unlisted.htm", "/sub/deep.png", "/css/main.css",
          "/css/print.css", "/css/inline.css", "/css/fonts/f.woff", "/js/app.js", "/img/h1.png",
          "/img/body.png", "/img/Logo.png", "/img/bg.gif", "/img/pic 1.png", "/docs/manual.pdf"}));
}

}  // namespace
}  // namespace corvina
