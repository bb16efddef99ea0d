#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"
#include "tests/fakes/TestSupport.h"
#include "tests/helpers/ChmReadBack.h"
#include "workshop/common/ChmcmdEngine.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

// hhc run in the folder; its messages and progress lines all go to standard output.
testing::ProgramRun RunHhc(std::vector<std::string> arguments, const fs::path& folder) {
  arguments.insert(arguments.begin(), testing::BuiltProgram("hhc"));
  return testing::RunProgram(arguments, folder);
}

std::set<std::string> ListTree(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    names.insert(fs::relative(entry.path(), root).generic_string());
  return names;
}

// A site as the generation writes it: pages, the derived-images page, contents and index
// files and the project, all Windows-1252 with CRLF, paths absolute, names ending .tmp.
struct Site {
  testing::TempDir temp;
  fs::path folder = temp / "My Site";
  fs::path output = temp / "out" / "help.chm";
  std::vector<std::string> pages = {"index.htm", "sub/pé.htm"};  // UTF-8 names on disk
  std::string extra_files;                                       // more [FILES] lines, Windows-1252
  bool write_contents = true;
  bool write_index = true;
  std::string more_contents;            // more contents entries, Windows-1252
  std::string index_keyword = "hello";  // Windows-1252

  Site() {
    fs::create_directories(folder / "sub");
    fs::create_directories(output.parent_path());
    WriteFileBytes(folder / "index.htm",
                   "<html><head><title>Home</title></head><body><a href=\"sub/p%C3%A9.htm\">"
                   "page</a> hello world</body></html>");
    WriteFileBytes(folder / "sub" / "pé.htm",
                   "<html><head><title>Page</title></head><body><a name=\"top\"></a>page "
                   "text</body></html>");
    WriteFileBytes(folder / "CorB3.tmp.htm",
                   "<HTML><HEAD><TITLE></TITLE></HEAD><BODY>\r\n</BODY></HTML>\r\n");
  }

  std::string ContentsText() const {
    return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n"
           "<UL>\r\n<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"Home\">"
           "<PARAM NAME=\"Local\" VALUE=\"index.htm\">\r\n</OBJECT>\r\n" +
           more_contents + "</UL>\r\n</BODY></HTML>\r\n";
  }
  std::string IndexText() const {
    return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n"
           "<UL>\r\n<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"" +
           index_keyword +
           "\"><PARAM NAME=\"Name\" VALUE=\"H\xf4me\"><PARAM NAME=\"Local\" "
           "VALUE=\"index.htm\">\r\n"
           "</OBJECT>\r\n</UL>\r\n</BODY></HTML>\r\n";
  }

  // Writes the files and returns the project's name.
  std::string Write() {
    if (write_contents) WriteFileBytes(folder / "CorB1.tmp", ContentsText());
    if (write_index) WriteFileBytes(folder / "CorB2.tmp", IndexText());
    std::string files;
    for (const std::string& page : pages)
      files += Utf8ToAnsi(page) + "\r\n";
    std::string text =
        "[OPTIONS]\r\nAuto Index = Yes\r\nBinary Index = Yes\r\nBinary TOC = Yes\r\n"
        "Compatibility = 1.1 Or later\r\nCompiled file=" +
        output.string() + "\r\nContents file=" + (folder / "CorB1.tmp").string() +
        "\r\nDefault window=default\r\nDefault topic=index.htm\r\n"
        "Display compile progress=Yes\r\nFull-text search=Yes\r\n"
        "Language=0x409 English (United States)\r\nTitle=Caf\xe9 help\r\n"
        "Index File = " +
        (folder / "CorB2.tmp").string() +
        "\r\n\r\n[WINDOWS]\r\n\r\ndefault=,\"CorB1.tmp\",\"CorB2.tmp\",,,,,,,0x22420,,"
        "0x3006,,,,,,,,0\r\n\r\n[FILES]\r\n" +
        files + extra_files + (folder / "CorB3.tmp.htm").string() + "\r\n";
    WriteFileBytes(folder / "CorB4.tmp", text);
    return "CorB4.tmp";
  }
};

// A contents entry for the page whose name is UTF-8 on disk, with the local given.
std::string CafeEntry(const char* local) {
  return std::string(
             "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"Caf\xe9\">"
             "<PARAM NAME=\"Local\" VALUE=\"") +
         local + "\">\r\n</OBJECT>\r\n";
}

TEST(HhcTest, BothEnginesCompileTheProjectAsTheWritersWriteIt) {
  // A contents file with a Windows-1252 local is stored under another name, its locals in UTF-8.
  struct Case {
    const char* engine;
    std::string more_contents;
    const char* contents;  // the name the contents file is stored under
    std::string stored_more_contents;
  };
  const Case cases[] = {
      {"chmcmd", "", "/CorB1.tmp", ""},
      {"chmcmd", CafeEntry("sub/p\xe9.htm"), "/CorB1.tmp.hhc", CafeEntry("sub/p\xc3\xa9.htm")},
      {"native", CafeEntry("sub/p\xe9.htm"), "/CorB1.tmp.hhc", CafeEntry("sub/p\xc3\xa9.htm")},
  };
  for (const Case& c : cases) {
    const auto& [engine, more_contents, contents, stored_more_contents] = c;
    SCOPED_TRACE(std::string(engine) + " " + contents);
    if (engine == std::string("chmcmd") && !testing::HaveFpUtils()) continue;
    Site site;
    site.more_contents = more_contents;
    const std::string project = site.Write();
    const std::set<std::string> before = ListTree(site.folder);
    const testing::ProgramRun run = RunHhc({"--engine", engine, project}, site.folder);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    // A clean site: no message at all.
    EXPECT_EQ(run.out.find("HHC"), std::string::npos) << run.out;
    for (const std::string& line : std::vector<std::string>{
             "Processing " + std::string(contents + 1) + "\n", "Processing index.htm\n",
             "Processing sub/pé.htm\n", "Processing CorB3.tmp.htm\n"}) {
      EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    }

    // Every name once, every file whole.
    chm::readback::ChmContents libchm = chm::readback::ReadWithLibchm(site.output);
    EXPECT_EQ(libchm.error, "");
    EXPECT_EQ(libchm.warnings, std::vector<std::string>{});
    for (const char* name : {"/index.htm", "/sub/pé.htm", contents, "/CorB2.tmp", "/CorB3.tmp.htm",
                             "/#SYSTEM", "/$FIftiMain"}) {
      EXPECT_EQ(libchm.files.count(name), 1u) << name;
    }
    for (const auto& [name, bytes] : libchm.files)
      EXPECT_FALSE(name.starts_with("//")) << name;
    EXPECT_EQ(libchm.files["/sub/pé.htm"], ReadFileBytes(site.folder / "sub" / "pé.htm"));
    site.more_contents = stored_more_contents;
    EXPECT_EQ(libchm.files[contents], site.ContentsText());
    EXPECT_EQ(libchm.files["/CorB2.tmp"], site.IndexText());
    // The window definition names the contents and index files as they are stored.
    const std::string& strings = libchm.files["/#STRINGS"];
    EXPECT_NE(strings.find('\0' + std::string(contents + 1) + '\0'), std::string::npos);
    EXPECT_NE(strings.find(std::string("\0CorB2.tmp\0", 11)), std::string::npos);
    const chm::readback::ChmContents mspack = chm::readback::ReadWithLibmspack(site.output);
    EXPECT_EQ(mspack.error, "");
    EXPECT_TRUE(mspack.files.count("/sub/pé.htm"));

    EXPECT_EQ(ListTree(site.folder), before);  // nothing of ours left in the site
    EXPECT_EQ(ListTree(site.output.parent_path()), (std::set<std::string>{"help.chm"}));
  }
}

TEST(HhcTest, AFileListedTwiceIsStoredOnceWithOneWarning) {
  for (const char* engine : {"chmcmd", "native"}) {
    SCOPED_TRACE(engine);
    if (engine == std::string("chmcmd") && !testing::HaveFpUtils()) continue;
    Site site;
    site.extra_files = "index.htm\r\nindex.htm\r\n";
    const testing::ProgramRun run = RunHhc({"--engine", engine, site.Write()}, site.folder);
    ASSERT_EQ(run.exit_code, 0) << run.out;
    const std::string warning =
        "HHC4007: Warning: index.htm is listed more than once in [FILES]; it is stored once.\n";
    EXPECT_NE(run.out.find(warning), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(warning), run.out.rfind(warning)) << run.out;
    const chm::readback::ChmContents libchm = chm::readback::ReadWithLibchm(site.output);
    EXPECT_EQ(libchm.warnings, std::vector<std::string>{});  // no name listed twice
    EXPECT_EQ(libchm.files.count("/index.htm"), 1u);
  }
}

// Puts a stand-in chmcmd first in PATH for the test's lifetime.
class FakeChmcmd {
 public:
  FakeChmcmd(const testing::TempDir& temp, const std::string& script) {
    fs::create_directories(temp / "fakebin");
    WriteFileBytes(temp / "fakebin" / "chmcmd", "#!/bin/sh\n" + script);
    ::chmod((temp / "fakebin" / "chmcmd").c_str(), 0755);
    old_path_ = ::getenv("PATH");
    ::setenv("PATH", ((temp / "fakebin").string() + ":" + old_path_).c_str(), 1);
  }
  ~FakeChmcmd() { ::setenv("PATH", old_path_.c_str(), 1); }

 private:
  std::string old_path_;
};

// A compile that must fail: an HHC error line, exit code 1, the earlier output untouched and
// nothing of ours left behind. With a `chmcmd` script, a stand-in chmcmd compiles.
TEST(HhcTest, FailuresAreReportedAndLeaveNothingBehind) {
  struct Case {
    std::string name;
    std::function<std::string(Site&)> prepare;  // writes the site; returns the project's name
    std::string expected;                       // the error line's start
    std::string chmcmd = {};                    // a stand-in chmcmd's script
  };
  const auto write = [](Site& site) { return site.Write(); };
  const Case cases[] = {
      {"missing page",
       [](Site& site) {
         site.pages.push_back("missing.htm");
         return site.Write();
       },
       "HHC6002: Error: The file missing.htm does not exist."},
      {"missing contents",
       [](Site& site) {
         site.write_contents = false;
         return site.Write();
       },
       "HHC6004: Error: The contents file "},
      {"missing index",
       [](Site& site) {
         site.write_index = false;
         return site.Write();
       },
       "HHC6005: Error: The index file "},
      {"page above the project folder",
       [](Site& site) {
         WriteFileBytes(site.temp / "outside.htm", "<html></html>");
         site.extra_files = "../outside.htm\r\n";
         return site.Write();
       },
       "HHC6003: Error: The file ../outside.htm lies outside the project folder"},
      {"absolute page elsewhere",
       [](Site& site) {
         WriteFileBytes(site.temp / "elsewhere" / "x.htm", "<html></html>");
         site.extra_files = (site.temp / "elsewhere" / "x.htm").string() + "\r\n";
         return site.Write();
       },
       "HHC6003: Error: The file /"},
      {"missing project",
       [](Site& site) {
         site.Write();
         return std::string("NoSuch.tmp");
       },
       "HHC6001: Error: The project file "},
      {"chmcmd crashed", write,
       "HHC6006: Error: The compiler stopped with an unhandled exception: EAccessViolation: "
       "Access violation\n",
       "echo 'An unhandled exception occurred at $0000000000416AC9:'\n"
       "echo 'EAccessViolation: Access violation'\necho '  $0000000000416AC9'\nexit 217\n"},
      {"chmcmd found no contents", write, "HHC6004: Error: Can't find TOC file /x/CorB1.tmp\n",
       "echo \"Error: Can't find TOC file /x/CorB1.tmp\"\nexit 0\n"},
      {"chmcmd found no project", write, "HHC6001: Error: Can't find project file x.hhp\n",
       "echo \"Can't find project file x.hhp\"\nexit 0\n"},
      {"chmcmd failed", write, "HHC6006: Error: chmcmd failed with exit code 3.\n", "exit 3\n"},
      {"chmcmd wrote nothing", write, "HHC6006: Error: chmcmd wrote no compiled file.\n",
       "exit 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Site site;
    WriteFileBytes(site.output, "an earlier, good help file");
    std::optional<FakeChmcmd> fake;
    if (!c.chmcmd.empty()) fake.emplace(site.temp, c.chmcmd);
    std::vector<std::string> arguments = {c.prepare(site)};
    if (fake) arguments.insert(arguments.begin(), {"--engine", "chmcmd"});
    const std::set<std::string> before = ListTree(site.folder);
    const testing::ProgramRun run = RunHhc(arguments, site.folder);
    EXPECT_EQ(run.exit_code, 1) << run.out;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
    EXPECT_EQ(ReadFileBytes(site.output), "an earlier, good help file");
    EXPECT_EQ(ListTree(site.folder), before);
    EXPECT_EQ(ListTree(site.output.parent_path()), (std::set<std::string>{"help.chm"}));
  }
}

TEST(ChmcmdOutputFilterTest, TranslatesEachKindOfLine) {
  testing::TempDir temp;
  WriteFileBytes(temp / "sub" / "é.htm", "x");
  workshop::ChmcmdOutputFilter filter(true, temp.path());
  const std::pair<std::string_view, std::optional<std::string>> lines[] = {
      {"chmcmd, a CHM compiler. (c) 2010-2019 Free Pascal core.\r", std::nullopt},
      {"", std::nullopt},
      {"Note: Index items:1", std::nullopt},
      {"Note: Scanning file index.htm.", "Processing index.htm"},
      {"Note: Scanning TOC file : CorB1.tmp.", "Processing CorB1.tmp"},
      {"Warning: Found file sub/%C3%A9.htm while scanning index.htm, but couldn't find it on disk",
       std::nullopt},
      {"Warning: Found file gone.htm while scanning index.htm, but couldn't find it on disk",
       "HHC4001: Warning: Found file gone.htm while scanning index.htm, but couldn't find it "
       "on disk"},
      {"Warning: File x.htm does not exist", "HHC4002: Warning: File x.htm does not exist"},
      {"Warning: something else", "HHC4009: Warning: something else"},
      {"Error: Anchor a.htm#x undefined; first use Site Map for A",
       "HHC4004: Warning: Anchor a.htm#x undefined; first use Site Map for A"},
      {"Writing CHM /w/out.chm", std::nullopt},
      {"some other line", "some other line"},
  };
  for (const auto& [line, printed] : lines) {
    SCOPED_TRACE(line);
    EXPECT_EQ(filter.Line(line), printed);
  }
  EXPECT_FALSE(filter.failed());
  EXPECT_EQ(filter.warnings(), 4);
  EXPECT_EQ(filter.Line("Error: Html parsing a.htm, failed with a DOM error: EDOMError"),
            "HHC4003: Warning: The page a.htm could not be parsed (an XML declaration at its "
            "start does this): it is stored unchanged, but has no title and no full-text entry, "
            "and its links are not followed.");
  EXPECT_FALSE(filter.failed());
  EXPECT_EQ(filter.Line("Error: Can't find index file /x"),
            "HHC6005: Error: Can't find index file /x");
  EXPECT_TRUE(filter.failed());

  workshop::ChmcmdOutputFilter crashed(false, temp.path());
  EXPECT_EQ(crashed.Line("Note: Scanning file index.htm."), std::nullopt);
  EXPECT_EQ(crashed.Line("An unhandled exception occurred at $0000000000416AC9:"), std::nullopt);
  EXPECT_TRUE(crashed.failed());
  EXPECT_EQ(crashed.Finish(), "HHC6006: Error: The compiler stopped with an unhandled exception.");
}

}  // namespace
}  // namespace corvina
