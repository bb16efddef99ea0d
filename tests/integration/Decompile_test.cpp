#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "tests/workshop/HostileChm.h"
#include "workshop/chm/fuzz/ChmReadBack.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using chm::readback::ReadWithLibchm;
using testing::BuiltProgram;
using testing::PatchFileBytes;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// Every file below the folder, by "/"-separated relative path, with its bytes.
std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), folder).generic_string()] = ReadFileBytes(entry.path());
    }
  }
  return files;
}

// "Contents file=...", "Index file=..." and the like, as hh -options prints them.
std::map<std::string, std::string> ProjectOptions(const fs::path& chm) {
  const ProgramRun run = RunProgram({BuiltProgram("hh"), "-options", chm.string()});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  std::map<std::string, std::string> options;
  size_t at = 0;
  while (at < run.out.size()) {
    const size_t end = run.out.find('\n', at);
    const std::string line = run.out.substr(at, end - at);
    options[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    at = end + 1;
  }
  return options;
}

// Our temporary files: their names change from one compilation to the next.
bool IsTemporary(const std::string& name) {
  return name.starts_with("/Cor") || name.starts_with("Cor");
}

// The example site through corvina compile, then back through corvina decompile. Every test
// has its own settings (TempDir points XDG_CONFIG_HOME into itself).
class DecompileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testing::TestDataPath("../../examples/site"), site_, fs::copy_options::recursive);
    ProgramRun setup = RunProgram({BuiltProgram("corvina"), "setup"});
    ASSERT_EQ(setup.exit_code, 0) << setup.err;
    ProgramRun compiled = Compile(site_, chm_);
    ASSERT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
  }

  static ProgramRun Compile(const fs::path& site, const fs::path& chm) {
    return RunProgram({BuiltProgram("corvina"), "compile", site.string(), "-o", chm.string(),
                       "--title", "Corvina Example", "--index", "--no-open", "--yes"});
  }

  static ProgramRun Decompile(std::vector<std::string> args) {
    args.insert(args.begin(), {BuiltProgram("corvina"), "decompile"});
    return RunProgram(args);
  }

  // What chmls reads as the help file's contents or index ("extracttoc", "extractindex").
  std::string Extract(const std::string& what, const fs::path& chm) {
    const fs::path file = dir_ / (what + ".out");
    RunProgram({"/usr/bin/chmls", what, chm.string(), file.string()});
    return ReadFileBytes(file);
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
  fs::path chm_ = dir_ / "Example.chm";
};

TEST_F(DecompileTest, RoundTripGivesBackEveryFileAndTheSameHelpFile) {
  const fs::path back = dir_ / "back";
  ProgramRun run = Decompile({chm_.string(), back.string()});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with("12 files extracted to \"" + back.string() + "\".\n\nDone!\n"))
      << run.out;

  // Every page, image and style sheet with identical bytes; the outline file is the site's
  // own and no part of the help file.
  std::map<std::string, std::string> expected = FilesBelow(site_);
  ASSERT_EQ(expected.erase("navigation.txt"), 1u);
  std::map<std::string, std::string> got = FilesBelow(back);
  std::set<std::string> generated;
  for (auto it = got.begin(); it != got.end();) {
    if (IsTemporary(it->first)) {
      generated.insert(it->first);
      it = got.erase(it);
    } else {
      ++it;
    }
  }
  EXPECT_EQ(got, expected);

  // The contents and index files come back under the names the help file gives them, with
  // the derived-images page.
  std::map<std::string, std::string> options = ProjectOptions(chm_);
  EXPECT_EQ(options["Default topic"], "index.htm");
  EXPECT_EQ(options["Title"], "Corvina Example");
  ASSERT_EQ(generated.size(), 3u);
  for (const char* key : {"Contents file", "Index file"}) {
    SCOPED_TRACE(key);
    ASSERT_TRUE(generated.count(options[key]));
    EXPECT_TRUE(ReadFileBytes(back / options[key]).starts_with("<!DOCTYPE HTML"));
  }
  EXPECT_NE(ReadFileBytes(back / options["Contents file"])
                .find("VALUE=\"Questions &amp; answers\">"
                      "<PARAM NAME=\"Local\" "
                      "VALUE=\"reference/faq.htm\">"),
            std::string::npos);

  // Without --to-site the folder is left as hh wrote it.
  EXPECT_FALSE(fs::exists(back / "navigation.txt"));

  // Converted into a site, the folder compiles into the same help file again.
  const fs::path converted = dir_ / "converted";
  run = Decompile({chm_.string(), converted.string(), "--to-site"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with("Done!\nWrote " + (converted / "navigation.txt").string() +
                                ": 7 entries from the contents file " + options["Contents file"] +
                                ".\n"))
      << run.out;
  EXPECT_EQ(ReadFileBytes(converted / "navigation.txt"),
            "Corvina Example | index.htm\n"
            "    Guide |\n"
            "        Getting started | guide/getting started.htm\n"
            "        Writing pages | guide/writing.htm\n"
            "    Reference |\n"
            "        Options | reference/options.htm\n"
            "        Questions & answers | reference/faq.htm\n");
  const fs::path again = dir_ / "Again.chm";
  run = Compile(converted, again);
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;

  const chm::readback::ChmContents first = ReadWithLibchm(chm_);
  const chm::readback::ChmContents second = ReadWithLibchm(again);
  EXPECT_EQ(first.error, "");
  EXPECT_EQ(second.error, "");
  std::map<std::string, std::string> first_pages;
  std::map<std::string, std::string> second_pages;
  for (const auto& [contents, pages] :
       {std::pair{&first, &first_pages}, {&second, &second_pages}}) {
    for (const auto& [name, bytes] : contents->files) {
      if (!IsTemporary(name) && !name.starts_with("/#") && !name.starts_with("/$") &&
          !name.starts_with("::")) {
        (*pages)[name] = bytes;
      }
    }
  }
  EXPECT_EQ(second_pages, first_pages);
  EXPECT_EQ(first_pages.size(), 9u);
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const std::string toc = Extract("extracttoc", chm_);
  // chmls reads the binary contents, which holds the label as the viewer shows it: the
  // contents file's "&amp;" decoded.
  EXPECT_NE(toc.find("Questions & answers"), std::string::npos) << toc;
  EXPECT_EQ(Extract("extracttoc", again), toc);
  EXPECT_EQ(Extract("extractindex", again), Extract("extractindex", chm_));
}

TEST_F(DecompileTest, ToSiteFindsTheContentsFileAsViewersDoAndKeepsTitleAndTopic) {
  // A help file made elsewhere: its contents file is named only by its window definition.
  const fs::path made = dir_ / "made";
  WriteFileBytes(made / "a.htm", "<html><head><title>A</title></head><body>a</body></html>");
  WriteFileBytes(made / "b.htm", "<html><head><title>B</title></head><body>b</body></html>");
  WriteFileBytes(made / "toc.hhc",
                 "<HTML><BODY><UL>\r\n"
                 "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
                 "<param name=\"Local\" value=\"a.htm\"></OBJECT>\r\n"
                 "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Second\">"
                 "<param name=\"Local\" value=\"b.htm\"></OBJECT>\r\n"
                 "</UL></BODY></HTML>\r\n");
  WriteFileBytes(made / "made.hhp",
                 "[OPTIONS]\r\nCompiled file=made.chm\r\nDefault window=main\r\n"
                 "Default topic=b.htm\r\nTitle=Product Manual\r\n\r\n[WINDOWS]\r\n"
                 "main=\"Product Manual\",\"toc.hhc\",,\"b.htm\",\"a.htm\",,,,,0x22420,,0x3006,,,,,"
                 ",,,0\r\n\r\n[FILES]\r\na.htm\r\nb.htm\r\ntoc.hhc\r\n");
  ProgramRun run =
      RunProgram({BuiltProgram("hhc"), "--engine", "native", (made / "made.hhp").string()});
  ASSERT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(ProjectOptions(made / "made.chm")["Contents file"], "toc.hhc");

  const fs::path site = dir_ / "site from chm";
  run = Decompile({(made / "made.chm").string(), site.string(), "--to-site", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(ReadFileBytes(site / "navigation.txt"), "Start | a.htm\nSecond | b.htm\n");

  // The site compiles under the help file's own title, opening at its own default topic.
  const fs::path again = dir_ / "again.chm";
  run = RunProgram({BuiltProgram("corvina"), "compile", site.string(), "-o", again.string(),
                    "--no-open", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  std::map<std::string, std::string> options = ProjectOptions(again);
  EXPECT_EQ(options["Title"], "Product Manual");
  EXPECT_EQ(options["Default topic"], "b.htm");
}

TEST_F(DecompileTest, ExistingOutlineIsReplacedOnlyWithConsent) {
  const fs::path out = dir_ / "out";
  WriteFileBytes(out / "navigation.txt", "mine\n");
  ProgramRun no = Decompile({chm_.string(), out.string(), "--to-site", "--no"});
  EXPECT_EQ(no.exit_code, 3) << no.err;
  EXPECT_NE(
      no.err.find("Corvina: " + (out / "navigation.txt").string() +
                  " already exists. Replace it? [no]\nCorvina: " + out.string() +
                  " was not made a site: " + (out / "navigation.txt").string() + " was kept\n"),
      std::string::npos)
      << no.err;
  EXPECT_EQ(ReadFileBytes(out / "navigation.txt"), "mine\n");
  EXPECT_TRUE(fs::exists(out / "index.htm"));

  ProgramRun yes = Decompile({chm_.string(), out.string(), "--to-site", "-y"});
  EXPECT_EQ(yes.exit_code, 0) << yes.err;
  EXPECT_TRUE(ReadFileBytes(out / "navigation.txt").starts_with("Corvina Example | index.htm\n"));
  // Nothing of the conversion is left beside it: the decompiled contents, index and
  // derived-images page are the only temporary names.
  size_t temporary = 0;
  for (const auto& [name, bytes] : FilesBelow(out))
    temporary += IsTemporary(name);
  EXPECT_EQ(temporary, 3u);
}

TEST_F(DecompileTest, BadInputIsRefusedAndLeavesNothingBehind) {
  const std::string whole = ReadFileBytes(chm_);
  WriteFileBytes(dir_ / "in" / "text.chm", "This is a text file, not a help file.\n");
  WriteFileBytes(dir_ / "in" / "empty.chm", "");
  // Cut inside its directory: no help file any more.
  WriteFileBytes(dir_ / "in" / "truncated.chm", whole.substr(0, 3000));
  std::string noise(4096, '\0');
  uint32_t seed = 12345;
  for (char& c : noise) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  WriteFileBytes(dir_ / "in" / "random.chm", noise);
  WriteFileBytes(dir_ / "in" / "a file", "not a folder");
  const fs::path out = dir_ / "out";

  struct Case {
    std::vector<std::string> args;
    std::string message;  // on stdout or stderr
  };
  const Case cases[] = {
      {{(dir_ / "missing.chm").string(), out.string()},
       "Corvina: Can not find input file: " + (dir_ / "missing.chm").string() + "\n"},
      {{(dir_ / "in").string(), out.string()},
       "Corvina: Can not find input file: " + (dir_ / "in").string() + "\n"},
      {{(dir_ / "in/text.chm").string(), out.string()}, "HHC6002: Error:"},
      {{(dir_ / "in/empty.chm").string(), out.string()}, "HHC6002: Error:"},
      {{(dir_ / "in/truncated.chm").string(), out.string()}, "HHC6002: Error:"},
      {{(dir_ / "in/random.chm").string(), out.string(), "--to-site"}, "HHC6002: Error:"},
      {{chm_.string(), (dir_ / "no/such/out").string()},
       "Corvina: Path not found: " + (dir_ / "no/such/out").string() + "\n"},
      {{chm_.string(), (dir_ / "in/a file").string()},
       "Corvina: File already exists: " + (dir_ / "in/a file").string() + "\n"},
      {{chm_.string(), "two\nlines"}, "Corvina: an argument holds a line break\n"},
      {{chm_.string(), out.string(), "--frobnicate"}, "Corvina: unknown option '--frobnicate'"},
      {{chm_.string(), out.string(), "--title", "x"}, "option '--title' does not go with"},
      {{chm_.string()}, "Corvina: decompile takes a .chm file and a folder\n"},
  };
  const std::map<std::string, std::string> before = FilesBelow(dir_.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ProgramRun run = Decompile(c.args);
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << run.out << run.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir_ / "no"));
  }
  // The settings store is the only thing that changed.
  std::map<std::string, std::string> after = FilesBelow(dir_.path());
  std::erase_if(after, [](const auto& file) { return file.first.starts_with("config/"); });
  std::map<std::string, std::string> expected = before;
  std::erase_if(expected, [](const auto& file) { return file.first.starts_with("config/"); });
  EXPECT_EQ(after, expected);

  // Cut after its directory: a help file whose pages cannot be read. hh says so for each,
  // and no page is left half written.
  uint64_t directory_offset = 0;
  uint64_t directory_length = 0;
  std::memcpy(&directory_offset, whole.data() + 0x48, 8);  // the ITSF header, little-endian
  std::memcpy(&directory_length, whole.data() + 0x50, 8);
  const size_t directory_end = directory_offset + directory_length;
  ASSERT_LT(directory_end, whole.size());
  WriteFileBytes(dir_ / "in" / "cut.chm",
                 whole.substr(0, directory_end + (whole.size() - directory_end) / 3));
  ProgramRun cut = Decompile({(dir_ / "in/cut.chm").string(), out.string()});
  EXPECT_EQ(cut.exit_code, 1) << cut.out << cut.err;
  EXPECT_NE(cut.out.find("HHC6007: Error: could not read \"/index.htm\""), std::string::npos)
      << cut.out;
  EXPECT_NE(cut.out.find("0 files extracted to \"" + out.string() + "\"; 12 not extracted."),
            std::string::npos)
      << cut.out;
  EXPECT_EQ(FilesBelow(out), (std::map<std::string, std::string>{}));

  ProgramRun options =
      RunProgram({BuiltProgram("hh"), "-options", (dir_ / "in/text.chm").string()});
  EXPECT_EQ(options.exit_code, 2);
  EXPECT_EQ(options.out, "HHC6002: Error: \"" + (dir_ / "in/text.chm").string() +
                             "\" is not a compiled help file (.chm)\n");
}

}  // namespace
}  // namespace corvina

namespace corvina {
namespace {

// hh killed half-way (here by the file-size limit, like any signal) extracted only part of
// the file: corvina names the signal, does not say "Done!", and exits 1.
TEST(DecompileFailureTest, AToolEndedByASignalIsAFailure) {
  TempDir dir;
  const fs::path chm = dir / "big.chm";
  WriteFileBytes(
      chm, hostile_chm::WithFiles({{"/a.htm", "small"}, {"/big.bin", std::string(300000, 'b')}}));
  const fs::path out = dir / "out";
  const ProgramRun run =
      RunProgram({"/usr/bin/prlimit", "--fsize=100000", "--", BuiltProgram("corvina"), "decompile",
                  chm.string(), out.string()});
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  EXPECT_EQ(run.out.find("Done!"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("hh was ended by signal 25"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(out / "big.bin"));
}

}  // namespace
}  // namespace corvina
