#include <algorithm>
#include <cstring>

#include "tests/integration/Chain.h"
#include "tests/workshop/HostileChm.h"

namespace corvina::chain {
namespace {

// The example site through corvina compile, then back through corvina decompile.
class DecompileTest : public ChainTest {
 protected:
  void SetUp() override {
    CopySite("../../examples/site");
    SetUpCorvina();
    ProgramRun compiled = Compile(site_, chm_);
    ASSERT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
  }

  ProgramRun Compile(const fs::path& site, const fs::path& chm) {
    return Corvina({"compile", site.string(), "-o", chm.string(), "--title", "Corvina Example",
                    "--index", "--no-open", "--yes"});
  }

  ProgramRun Decompile(std::vector<std::string> args) {
    args.insert(args.begin(), "decompile");
    return Corvina(std::move(args));
  }
};

TEST_F(DecompileTest, RoundTripGivesBackEveryFileAndTheSameHelpFile) {
  const fs::path back = dir_ / "back";
  ProgramRun run = Decompile({chm_.string(), back.string()});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with("12 files extracted to \"" + back.string() + "\".\n\nDone!\n"))
      << run.out;

  // Every page, image and style sheet with identical bytes; the outline file is the site's
  // own and no part of the help file. The contents and index files come back under the names
  // the help file gives them, with the derived-images page.
  std::map<std::string, std::string> expected = FilesBelow(site_);
  ASSERT_EQ(expected.erase("navigation.txt"), 1u);
  std::map<std::string, std::string> got = FilesBelow(back);
  const size_t temporary = std::erase_if(got, [](const auto& f) { return IsTemporary(f.first); });
  EXPECT_EQ(got, expected);
  EXPECT_EQ(temporary, 3u);
  std::map<std::string, std::string> options = ProjectOptions(chm_);
  EXPECT_EQ(options["Default topic"], "index.htm");
  EXPECT_EQ(options["Title"], "Corvina Example");
  EXPECT_TRUE(ReadFileBytes(back / options["Index file"]).starts_with("<!DOCTYPE HTML"));
  EXPECT_NE(ReadFileBytes(back / options["Contents file"])
                .find("VALUE=\"Questions &amp; answers\"><PARAM NAME=\"Local\" "
                      "VALUE=\"reference/faq.htm\">"),
            std::string::npos);

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
  EXPECT_EQ(SiteFilesIn(again), expected);
  EXPECT_EQ(SiteFilesIn(chm_), expected);
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const std::vector<std::string> toc = Outline(chm_, "extracttoc");
  // chmls reads the binary contents, which holds the label as the viewer shows it.
  EXPECT_NE(std::find(toc.begin(), toc.end(), "    Questions & answers -> reference/faq.htm"),
            toc.end());
  EXPECT_EQ(Outline(again, "extracttoc"), toc);
  EXPECT_EQ(Outline(again, "extractindex"), Outline(chm_, "extractindex"));
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
  run = Corvina({"compile", site.string(), "-o", again.string(), "--no-open", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  std::map<std::string, std::string> options = ProjectOptions(again);
  EXPECT_EQ(options["Title"], "Product Manual");
  EXPECT_EQ(options["Default topic"], "b.htm");
}

TEST_F(DecompileTest, ExistingOutlineIsReplacedOnlyWithConsent) {
  const fs::path out = dir_ / "out";
  const std::string outline = (out / "navigation.txt").string();
  WriteFileBytes(outline, "mine\n");
  ProgramRun no = Decompile({chm_.string(), out.string(), "--to-site", "--no"});
  EXPECT_EQ(no.exit_code, 3) << no.err;
  EXPECT_NE(no.err.find("Corvina: " + outline + " already exists. Replace it? [no]\nCorvina: " +
                        out.string() + " was not made a site: " + outline + " was kept\n"),
            std::string::npos)
      << no.err;
  EXPECT_EQ(ReadFileBytes(outline), "mine\n");
  EXPECT_TRUE(fs::exists(out / "index.htm"));

  ProgramRun yes = Decompile({chm_.string(), out.string(), "--to-site", "-y"});
  EXPECT_EQ(yes.exit_code, 0) << yes.err;
  EXPECT_TRUE(ReadFileBytes(outline).starts_with("Corvina Example | index.htm\n"));
  // Nothing of the conversion is left beside it: the decompiled contents, index and
  // derived-images page are the only temporary names.
  std::map<std::string, std::string> files = FilesBelow(out);
  EXPECT_EQ(std::erase_if(files, [](const auto& f) { return IsTemporary(f.first); }), 3u);
}

TEST_F(DecompileTest, BadInputIsRefusedAndLeavesNothingBehind) {
  const std::string whole = ReadFileBytes(chm_);
  const fs::path in = dir_ / "in";
  WriteFileBytes(in / "text.chm", "This is a text file, not a help file.\n");
  WriteFileBytes(in / "empty.chm", "");
  WriteFileBytes(in / "truncated.chm", whole.substr(0, 3000));  // cut inside its directory
  WriteFileBytes(in / "a file", "not a folder");
  const std::string out = (dir_ / "out").string();
  const std::string no_such = (dir_ / "no/such/out").string();
  const std::string not_chm = "HHC6002: Error:";  // on stdout
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{(dir_ / "missing.chm").string(), out},
       "Corvina: Can not find input file: " + (dir_ / "missing.chm").string() + "\n"},
      {{in.string(), out}, "Corvina: Can not find input file: " + in.string() + "\n"},
      {{(in / "text.chm").string(), out, "--to-site"}, not_chm},
      {{(in / "empty.chm").string(), out}, not_chm},
      {{(in / "truncated.chm").string(), out}, not_chm},
      {{chm_.string(), no_such}, "Corvina: Path not found: " + no_such + "\n"},
      {{chm_.string(), (in / "a file").string()},
       "Corvina: File already exists: " + (in / "a file").string() + "\n"},
      {{chm_.string(), "two\nlines"}, "Corvina: an argument holds a line break\n"},
      {{chm_.string(), out, "--frobnicate"}, "Corvina: unknown option '--frobnicate'"},
      {{chm_.string(), out, "--title", "x"}, "option '--title' does not go with"},
      {{chm_.string()}, "Corvina: decompile takes a .chm file and a folder\n"},
  };
  const std::map<std::string, std::string> before = FilesButSettings();
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args.back());
    ProgramRun run = Decompile(args);
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(message), std::string::npos) << run.out << run.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir_ / "no"));
  }
  EXPECT_EQ(FilesButSettings(), before);  // the settings store is the only thing that changed

  // Cut after its directory: a help file whose pages cannot be read. hh says so for each,
  // and no page is left half written.
  uint64_t directory_offset = 0;
  uint64_t directory_length = 0;
  std::memcpy(&directory_offset, whole.data() + 0x48, 8);  // the ITSF header, little-endian
  std::memcpy(&directory_length, whole.data() + 0x50, 8);
  const size_t directory_end = directory_offset + directory_length;
  ASSERT_LT(directory_end, whole.size());
  WriteFileBytes(in / "cut.chm",
                 whole.substr(0, directory_end + (whole.size() - directory_end) / 3));
  ProgramRun cut = Decompile({(in / "cut.chm").string(), out});
  EXPECT_EQ(cut.exit_code, 1) << cut.out << cut.err;
  EXPECT_NE(cut.out.find("HHC6007: Error: could not read \"/index.htm\""), std::string::npos)
      << cut.out;
  EXPECT_NE(cut.out.find("0 files extracted to \"" + out + "\"; 12 not extracted."),
            std::string::npos)
      << cut.out;
  EXPECT_EQ(FilesBelow(out), (std::map<std::string, std::string>{}));

  ProgramRun options = RunProgram({BuiltProgram("hh"), "-options", (in / "text.chm").string()});
  EXPECT_EQ(options.exit_code, 2);
  EXPECT_EQ(options.out, "HHC6002: Error: \"" + (in / "text.chm").string() +
                             "\" is not a compiled help file (.chm)\n");
}

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
}  // namespace corvina::chain
