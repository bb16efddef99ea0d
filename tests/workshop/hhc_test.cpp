#include <chm_lib.h>
#include <gtest/gtest.h>
#include <mspack.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/PosixProcessRunner.h"
#include "platform/TextEncoding.h"
#include "tests/fakes/TestSupport.h"
#include "workshop/common/ChmcmdEngine.h"
#include "workshop/common/HhcProject.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

const std::string kBin = CORVINA_BIN_DIR;
const std::string kHhc = kBin + "/hhc";

struct HhcRun {
  std::string output;
  int32_t exit_code = -1;
};

// Runs hhc through the process runner; `on_output` may stop the run (returns true to cancel).
HhcRun RunHhc(const std::string& arguments, const fs::path& folder,
              const std::function<bool(const std::string&)>& on_output = {}) {
  PosixProcessRunner runner;
  ProcessStart start = runner.Start({"\"" + kHhc + "\" " + arguments, folder.string()});
  HhcRun run;
  if (!start.child) {
    ADD_FAILURE() << "hhc did not start: " << start.failure.system_error;
    return run;
  }
  std::array<std::byte, 4096> buffer;
  bool cancelled = false;
  while (true) {
    ProcessRead read = start.child->Read(buffer, milliseconds(200));
    run.output.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
    if (read.end) break;
    if (!cancelled && on_output && on_output(run.output)) {
      start.child->Kill();
      cancelled = true;
    }
  }
  std::optional<int32_t> code;
  while (!(code = start.child->Wait(milliseconds(60'000)))) {
  }
  run.exit_code = *code;
  return run;
}

std::set<std::string> ListTree(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    names.insert(fs::relative(entry.path(), root).generic_string());
  return names;
}

// The files of a .chm as libchm enumerates them, folders left out.
std::set<std::string> ChmNames(const fs::path& chm) {
  std::set<std::string> names;
  chmFile* file = chm_open(chm.c_str());
  if (file == nullptr) {
    ADD_FAILURE() << "libchm cannot open " << chm;
    return names;
  }
  chm_enumerate(
      file, CHM_ENUMERATE_ALL,
      [](chmFile*, chmUnitInfo* info, void* context) {
        std::string name = info->path;
        if (!name.ends_with("/")) static_cast<std::set<std::string>*>(context)->insert(name);
        return CHM_ENUMERATOR_CONTINUE;
      },
      &names);
  chm_close(file);
  return names;
}

std::string ChmObject(const fs::path& chm, const std::string& name) {
  chmFile* file = chm_open(chm.c_str());
  if (file == nullptr) return "<no file>";
  chmUnitInfo info;
  std::string bytes = "<missing>";
  if (chm_resolve_object(file, name.c_str(), &info) == CHM_RESOLVE_SUCCESS) {
    bytes.assign(info.length, '\0');
    chm_retrieve_object(file, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                        static_cast<LONGINT64>(info.length));
  }
  chm_close(file);
  return bytes;
}

// The file names libmspack lists, or nothing when it refuses the file.
std::optional<std::set<std::string>> MspackNames(const fs::path& chm) {
  mschm_decompressor* decompressor = mspack_create_chm_decompressor(nullptr);
  mschmd_header* header = decompressor->open(decompressor, const_cast<char*>(chm.c_str()));
  std::optional<std::set<std::string>> names;
  if (header != nullptr) {
    names.emplace();
    for (mschmd_file* f = header->files; f != nullptr; f = f->next)
      names->insert(f->filename);
    decompressor->close(decompressor, header);
  }
  mspack_destroy_chm_decompressor(decompressor);
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

// chmcmd (Debian's fp-utils) is the cross-check engine; nothing else needs it.
bool HaveChmcmd() {
  return FindProgram("chmcmd").ok();
}

TEST(HhcTest, ChmcmdEngineCompilesProjectAsTheWritersWriteIt) {
  if (!HaveChmcmd()) GTEST_SKIP() << "chmcmd (package fp-utils) is not installed";
  Site site;
  const std::string project = site.Write();
  const std::set<std::string> before = ListTree(site.folder);
  HhcRun run = RunHhc("--engine chmcmd " + project, site.folder);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_EQ(run.output.find("HHC"), std::string::npos) << run.output;
  for (const char* line : {"Processing index.htm\n", "Processing sub/pé.htm\n",
                           "Processing CorB3.tmp.htm\n", "Processing CorB1.tmp\n"}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
  }

  const std::set<std::string> names = ChmNames(site.output);
  for (const char* name :
       {"/index.htm", "/sub/pé.htm", "/CorB1.tmp", "/CorB2.tmp", "/CorB3.tmp.htm", "/#SYSTEM"}) {
    EXPECT_TRUE(names.count(name)) << name;
  }
  EXPECT_EQ(ChmObject(site.output, "/sub/pé.htm"), ReadFileBytes(site.folder / "sub" / "pé.htm"));
  EXPECT_EQ(ChmObject(site.output, "/CorB1.tmp"), site.ContentsText());
  EXPECT_EQ(ChmObject(site.output, "/CorB2.tmp"), site.IndexText());
  // The window definition names the contents and index files as they are stored.
  const std::string strings = ChmObject(site.output, "/#STRINGS");
  EXPECT_NE(strings.find(std::string("\0CorB1.tmp\0", 11)), std::string::npos);
  EXPECT_NE(strings.find(std::string("\0CorB2.tmp\0", 11)), std::string::npos);
  for (const std::string& name : names)
    EXPECT_FALSE(name.starts_with("//")) << name;

  std::optional<std::set<std::string>> mspack = MspackNames(site.output);
  ASSERT_TRUE(mspack.has_value()) << "libmspack refused the file";
  EXPECT_TRUE(mspack->count("/sub/pé.htm"));

  EXPECT_EQ(ListTree(site.folder), before);  // nothing of ours left in the site
  EXPECT_EQ(ListTree(site.output.parent_path()), (std::set<std::string>{"help.chm"}));
}

TEST(HhcTest, AFileListedTwiceIsStoredOnceWithOneWarning) {
  for (const char* engine : {"--engine chmcmd ", "--engine native "}) {
    SCOPED_TRACE(engine);
    Site site;
    site.extra_files = "index.htm\r\nindex.htm\r\n";
    const std::string project = site.Write();
    HhcRun run = RunHhc(engine + project, site.folder);
    ASSERT_EQ(run.exit_code, 0) << run.output;
    const std::string warning =
        "HHC4007: Warning: index.htm is listed more than once in [FILES]; it is stored once.\n";
    EXPECT_NE(run.output.find(warning), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(warning), run.output.rfind(warning)) << run.output;
    // Every directory entry, duplicates included.
    int stored = 0;
    chmFile* file = chm_open(site.output.c_str());
    ASSERT_NE(file, nullptr);
    chm_enumerate(
        file, CHM_ENUMERATE_ALL,
        [](chmFile*, chmUnitInfo* info, void* context) {
          *static_cast<int*>(context) += std::string(info->path) == "/index.htm";
          return CHM_ENUMERATOR_CONTINUE;
        },
        &stored);
    chm_close(file);
    EXPECT_EQ(stored, 1);
  }
}

TEST(HhcTest, NativeEngineCompilesTheSameProject) {
  Site site;
  site.more_contents =
      "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"Caf\xe9\">"
      "<PARAM NAME=\"Local\" VALUE=\"sub/p\xe9.htm\">\r\n</OBJECT>\r\n";
  const std::string project = site.Write();
  const std::set<std::string> before = ListTree(site.folder);
  HhcRun run = RunHhc("--engine native " + project, site.folder);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  // A clean site: no warning, and the search index the project asks for.
  EXPECT_EQ(run.output.find("HHC"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Processing sub/pé.htm\n"), std::string::npos) << run.output;
  const std::set<std::string> names = ChmNames(site.output);
  for (const char* name : {"/index.htm", "/sub/pé.htm", "/CorB1.tmp.hhc", "/CorB2.tmp",
                           "/CorB3.tmp.htm", "/#SYSTEM", "/$FIftiMain"}) {
    EXPECT_TRUE(names.count(name)) << name;
  }
  EXPECT_EQ(ChmObject(site.output, "/sub/pé.htm"), ReadFileBytes(site.folder / "sub" / "pé.htm"));
  EXPECT_TRUE(MspackNames(site.output).has_value());
  EXPECT_EQ(ListTree(site.folder), before);
  EXPECT_EQ(ListTree(site.output.parent_path()), (std::set<std::string>{"help.chm"}));
}

// A compile that must fail: an HHC error line, a non-zero exit, the earlier output untouched
// and nothing of ours left behind.
struct FailureCase {
  std::string name;
  std::function<std::string(Site&)> prepare;  // writes the site; returns hhc's arguments
  std::string expected;                       // the error line's start
};

TEST(HhcTest, FailuresAreReportedAndLeaveNothingBehind) {
  const std::string old_output = "an earlier, good help file";
  const FailureCase cases[] = {
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
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Site site;
    WriteFileBytes(site.output, old_output);
    const std::string arguments = c.prepare(site);
    const std::set<std::string> before = ListTree(site.folder);
    HhcRun run = RunHhc(arguments, site.folder);
    EXPECT_EQ(run.exit_code, 1) << run.output;
    EXPECT_NE(run.output.find(c.expected), std::string::npos) << run.output;
    EXPECT_EQ(ReadFileBytes(site.output), old_output);
    EXPECT_EQ(ListTree(site.folder), before);
    EXPECT_EQ(ListTree(site.output.parent_path()), (std::set<std::string>{"help.chm"}));
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

TEST(HhcTest, CompilerFailuresOfEveryKindFail) {
  const std::pair<std::string, std::string> cases[] = {
      {"echo 'An unhandled exception occurred at $0000000000416AC9:'\n"
       "echo 'EAccessViolation: Access violation'\necho '  $0000000000416AC9'\nexit 217\n",
       "HHC6006: Error: The compiler stopped with an unhandled exception: EAccessViolation: "
       "Access violation"},
      {"echo \"Error: Can't find TOC file /x/CorB1.tmp\"\nexit 0\n",
       "HHC6004: Error: Can't find TOC file /x/CorB1.tmp"},
      {"echo \"Can't find project file x.hhp\"\nexit 0\n",
       "HHC6001: Error: Can't find project file x.hhp"},
      {"exit 3\n", "HHC6006: Error: chmcmd failed with exit code 3."},
      {"exit 0\n", "HHC6006: Error: chmcmd wrote no compiled file."},
  };
  for (const auto& [script, expected] : cases) {
    SCOPED_TRACE(script);
    Site site;
    WriteFileBytes(site.output, "old");
    FakeChmcmd fake(site.temp, script);
    const std::string project = site.Write();
    const std::set<std::string> before = ListTree(site.folder);
    HhcRun run = RunHhc("--engine chmcmd " + project, site.folder);
    EXPECT_EQ(run.exit_code, 1) << run.output;
    EXPECT_NE(run.output.find(expected + "\n"), std::string::npos) << run.output;
    EXPECT_EQ(ReadFileBytes(site.output), "old");
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
