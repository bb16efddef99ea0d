#include "tests/integration/Chain.h"

namespace corvina::chain {
namespace {

// A site whose pages refer to files in every way a page can: the compiled file must hold
// exactly the files they reach, and the log name exactly the real problems.
class LinkedFilesTest : public ChainTest {
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

  // Every file the pages reach, with its bytes: all of the site but the unused image.
  std::map<std::string, std::string> Reached() {
    std::map<std::string, std::string> files = FilesBelow(site_);
    EXPECT_EQ(files.erase("img/unused.png"), 1u);
    std::erase_if(files, [](const auto& file) { return file.first.ends_with(".hhp"); });
    EXPECT_EQ(files.size(), 15u);
    return files;
  }
};

TEST_F(LinkedFilesTest, CorvinaStoresEveryLinkedFileAndWarnsOnlyForRealProblems) {
  SetUpCorvina();
  const ProgramRun run =
      Compile({"-o", chm_.string(), "--default-page", "index.htm", "--no-open", "--yes"});
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  // A missing image gives one HHC4001, though two pages show it.
  EXPECT_EQ(LinesStarting(run.out, "HHC"),
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
  EXPECT_EQ(SiteFilesIn(chm_), Reached());
}

TEST_F(LinkedFilesTest, HhcFollowsLinksFromAProjectThatListsOnePage) {
  WriteFileBytes(site_ / "links.hhp", "[OPTIONS]\r\nCompiled file=" + chm_.string() +
                                          "\r\nDefault topic=index.htm\r\nTitle=Links\r\n\r\n"
                                          "[FILES]\r\nindex.htm\r\n");
  const ProgramRun run =
      RunProgram({BuiltProgram("hhc"), "--engine", "native", "links.hhp"}, site_);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(LinesStarting(run.out, "HHC").size(), 3u) << run.out;
  EXPECT_NE(run.out.find(", 15 files, 3 warnings."), std::string::npos) << run.out;
  EXPECT_EQ(SiteFilesIn(chm_), Reached());
}

}  // namespace
}  // namespace corvina::chain
