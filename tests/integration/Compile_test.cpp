#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/UniqueFd.h"
#include "tests/integration/Chain.h"

namespace corvina::chain {
namespace {

// The basic site through corvina, our hhc and chmcmd, read back by libchm and by chmls.
class CompileTest : public ChainTest {
 protected:
  void SetUp() override {
    CopySite();
    SetUpCorvina();
  }
};

TEST_F(CompileTest, SiteBecomesAHelpFileThatEveryReaderSees) {
  ProgramRun run = Compile({"-o", chm_.string(), "--title", "Basic Help", "--default-page",
                            "guide/intro.htm", "--index", "--no-open", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with("\nDone!\n")) << run.out;
  EXPECT_NE(run.out.find("Processing index.htm"), std::string::npos);
  EXPECT_EQ(LeftInSite(), std::set<std::string>{});

  // Every page, image and style sheet, byte for byte; the outline file is the site's own.
  std::map<std::string, std::string> expected = FilesBelow(site_);
  ASSERT_EQ(expected.erase("navigation.txt"), 1u);
  const std::map<std::string, std::string> files = SiteFilesIn(chm_);
  EXPECT_EQ(files, expected);

  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  std::vector<std::string> toc = Outline(chm_, "extracttoc");
  // chmcmd keeps one copy of strings that differ only in case, so the label "Notes" comes back
  // as the keyword "notes" that NOTES.HTM also carries.
  for (std::string& line : toc) {
    if (line == "  notes -> NOTES.HTM") line = "  Notes -> NOTES.HTM";
  }
  EXPECT_EQ(toc, (std::vector<std::string>{
                     "Basic Site -> index.htm",
                     "  Introduction -> guide/intro.htm",
                     "    Setup Guide -> guide/setup.htm",
                     "  Extras",
                     "    My Page -> My Page.htm",
                     "    Caf\xC3\xA9 cr\xC3\xA8me -> caf\xC3\xA9.htm",
                     "  Notes -> NOTES.HTM",
                 }));
  // Every page the contents and index point at is in the file under that name.
  std::vector<std::string> index = Outline(chm_, "extractindex");
  std::set<std::string> keywords;
  for (const std::string& line : index)
    keywords.insert(line.substr(0, line.find(" | ")));
  EXPECT_TRUE(keywords.count("home") && keywords.count("intro")) << index.size();
  for (std::vector<std::string>* list : {&toc, &index}) {
    for (const std::string& line : *list) {
      const size_t arrow = line.find(" -> ");
      EXPECT_TRUE(arrow == std::string::npos || files.count(line.substr(arrow + 4))) << line;
    }
  }
  const ProgramRun system = RunProgram({"/usr/bin/chmls", "printsystem", chm_.string()});
  EXPECT_NE(system.out.find("Title from [options]          :Basic Help"), std::string::npos);
  EXPECT_NE(system.out.find("Default topic from [options]  :guide/intro.htm"), std::string::npos);
}

// A run without options uses what the first one saved, and gives the same bytes.
TEST_F(CompileTest, SecondRunUsesTheSavedSettingsAndGivesTheSameBytes) {
  ASSERT_EQ(
      Compile({"-o", chm_.string(), "--title", "Saved Title", "--no-index", "--no-open"}).exit_code,
      0);
  const std::string first = ReadFileBytes(chm_);
  fs::remove(chm_);
  ProgramRun second = Compile({"--yes"});
  ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
  EXPECT_TRUE(ReadFileBytes(chm_) == first) << "the second compile gave other bytes";
  std::map<std::string, std::string> options = ProjectOptions(chm_);
  EXPECT_EQ(options["Title"], "Saved Title");
  EXPECT_EQ(options.count("Index file"), 0u);
  EXPECT_EQ(LeftInSite(), std::set<std::string>{});
}

TEST_F(CompileTest, LockedOutputStopsOnNoAndWhenNoViewerHoldsIt) {
  ASSERT_EQ(Compile({"-o", chm_.string(), "--no-open"}).exit_code, 0);
  const std::string before = ReadFileBytes(chm_);
  UniqueFd viewer(::open(chm_.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(viewer.get(), LOCK_SH), 0);

  ProgramRun no = Compile({"--no"});
  EXPECT_EQ(no.exit_code, 3);
  EXPECT_NE(no.err.find("Corvina: Output file is locked. Possibly this file opened by HTMLHelp "
                        "Viewer.\nCan I try to close it? [no]"),
            std::string::npos)
      << no.err;
  ProgramRun yes = Compile({"--yes"});
  EXPECT_EQ(yes.exit_code, 3);
  EXPECT_NE(yes.err.find("Corvina: The appropriate HTMLHelp Viewer was not found.\nPlease, close "
                         "it manualy. Compilation stopped"),
            std::string::npos)
      << yes.err;
  EXPECT_EQ(ReadFileBytes(chm_), before);
  EXPECT_EQ(LeftInSite(), std::set<std::string>{});
}

TEST_F(CompileTest, AFailingCompilerStopsTheRunAndKeepsTheEarlierHelpFile) {
  ASSERT_EQ(Compile({"-o", chm_.string(), "--no-open"}).exit_code, 0);
  const std::string before = ReadFileBytes(chm_);
  const std::string crash = "#!/bin/sh\necho \"Processing index.htm\"\nkill -SEGV $$\n";
  const std::string crashed = "Corvina: The help compiler failed with exit code 139\n";
  const std::string crash_log = "Processing index.htm\n\nhhc was ended by signal 11\n";
  struct Case {
    const char* what;
    std::string script;
    fs::perms perms;  // none: the compiler is gone once recorded
    std::string option;
    int exit_code;
    std::string err_has, err_lacks, out_ends;
  };
  const Case cases[] = {
      {"gone", "#!/bin/sh\nexit 0\n", fs::perms::none, "--no-open", 3, "", "", ""},
      {"may not run", "#!/bin/sh\nexit 0\n", fs::perms::owner_read | fs::perms::owner_write,
       "--no-open", 3, "", "CreateProcess", ""},
      // Nothing in the log says "HHC", yet the run failed: it is said, nothing is opened, and
      // since no help file was made the exit status is not that of a compile with warnings.
      // The routine and line of the report are for --verbose only.
      {"crash", crash, fs::perms::owner_all, "--open", 2, crashed, "in Sitepack.", crash_log},
      {"crash, verbose", crash, fs::perms::owner_all, "--verbose", 2,
       crashed + "in Sitepack.frmMain.Generate at line ", "", crash_log},
      // The compiler has the user press Ctrl-C at corvina, then waits to be ended.
      {"Ctrl-C", "#!/bin/sh\necho 'Processing index.htm'\nkill -INT $PPID\nexec sleep 120\n",
       fs::perms::owner_all, "--no-open", 3, "", "failed with exit code", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseCompiler(c.script);
    const fs::path compiler = dir_ / "workshop" / "hhc";
    if (c.perms == fs::perms::none) {
      fs::remove(compiler);
    } else {
      fs::permissions(compiler, c.perms);
    }
    ProgramRun run = Compile({"-o", chm_.string(), c.option, "--yes"});
    EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
    EXPECT_NE(run.err.find(c.err_has), std::string::npos) << run.err;
    EXPECT_TRUE(c.err_lacks.empty() || run.err.find(c.err_lacks) == std::string::npos) << run.err;
    EXPECT_TRUE(run.out.ends_with(c.out_ends)) << run.out;
    EXPECT_TRUE(ReadFileBytes(chm_) == before);
    EXPECT_EQ(LeftInSite(), std::set<std::string>{});
  }
}

// A refused run writes nothing and saves none of its settings.
TEST_F(CompileTest, BadUsageAndBadSitesExitTwo) {
  const fs::path empty = dir_ / "empty";
  const fs::path styles_only = dir_ / "styles-only";
  fs::create_directories(empty);
  WriteFileBytes(styles_only / "style.css", "body {}\n");
  const std::string site = site_.string();
  const std::string usage = "\nTry 'corvina --help'.\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"compile"}, "Corvina: compile takes one site folder" + usage},
      {{"compile", site, "--frobnicate"}, "Corvina: unknown option '--frobnicate'" + usage},
      {{"compile", site, "--title", "two\nlines"},
       "Corvina: the value of '--title' holds a line break" + usage},
      {{"compile", site, "--diagnostics=msvc"}, "Corvina: --diagnostics takes gnu or hhc" + usage},
      {{"compile", (dir_ / "none").string()},
       "Corvina: The site folder " + (dir_ / "none").string() + " does not exist\n"},
      {{"compile", (site_ / "index.htm").string()},
       "Corvina: " + (site_ / "index.htm").string() + " is not a folder\n"},
      {{"compile", site, "-o", (dir_ / "no/such/folder/x.chm").string()},
       "Corvina: the output folder " + (dir_ / "no/such/folder").string() + " does not exist\n"},
      {{"compile", site, "--default-page", "nowhere.htm", "--title", "Never saved"},
       "Corvina: the site's navigation lists no page \"nowhere.htm\"\n"},
      {{"compile", empty.string(), "-o", chm_.string()},
       "Corvina: " + empty.string() +
           " has no pages (.htm or .html files): there is nothing to compile\n"},
      {{"compile", styles_only.string(), "-o", chm_.string()},
       "Corvina: " + styles_only.string() +
           " has no pages (.htm or .html files): there is nothing to compile\n"},
      {{"bake", site}, "Corvina: unknown command 'bake'" + usage},
  };
  const std::map<std::string, std::string> before = FilesButSettings();
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args.back());
    ProgramRun run = Corvina(args);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_EQ(run.err, message);
  }
  EXPECT_EQ(FilesButSettings(), before);
  EXPECT_TRUE(fs::is_empty(empty));
  // The plain run that follows uses the defaults: the site's own title and folder.
  ProgramRun plain = Compile({"--no-open"});
  EXPECT_EQ(plain.exit_code, 0) << plain.err;
  EXPECT_TRUE(fs::exists(site_ / "Basic Site.CHM"));
}

// Names a help file cannot hold, and links out of the site, are left out with a warning each;
// the rest compiles.
TEST_F(CompileTest, UnstorableNamesAndLinksOutOfTheSiteAreLeftOut) {
  WriteFileBytes(dir_ / "outside" / "secret.txt", "TOP SECRET\n");
  fs::create_symlink(dir_ / "outside" / "secret.txt", site_ / "secret.htm");
  fs::create_symlink(dir_ / "outside", site_ / "elsewhere");
  WriteFileBytes(site_ / "a\\b.htm", "<html><head><title>B</title></head></html>");
  WriteFileBytes(site_ / "caf\xE9-latin1.htm", "<html><head><title>L</title></head></html>");
  WriteFileBytes(site_ / "links.htm",
                 "<html><head><title>Links</title></head><body><a href=\"secret.htm\">s</a>"
                 "<a href=\"elsewhere/secret.txt\">t</a></body></html>");
  ProgramRun run = Compile({"-o", chm_.string(), "--no-open", "--yes"});
  ASSERT_TRUE(fs::exists(chm_)) << run.out << run.err;
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  for (const char* told :
       {"Corvina: left out secret.htm: it is a symbolic link to a place outside the site\n",
        "Corvina: left out elsewhere: it is a symbolic link to a place outside the site\n",
        "Corvina: left out a\\b.htm: its name holds a backslash",
        "Corvina: left out caf?-latin1.htm: its name is not UTF-8 text"}) {
    EXPECT_NE(run.err.find(told), std::string::npos) << told << "\n" << run.err;
  }
  const std::map<std::string, std::string> files = SiteFilesIn(chm_);
  EXPECT_TRUE(files.count("index.htm") && files.count("links.htm"));
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(bytes.find("TOP SECRET"), std::string::npos) << name;
    EXPECT_EQ(name.find("secret"), std::string::npos) << name;
    EXPECT_EQ(name.find("latin1"), std::string::npos) << name;
    EXPECT_EQ(name.find('\\'), std::string::npos) << name;
  }
  EXPECT_EQ(LeftInSite(), std::set<std::string>{});
}

// The help file is made, but the site's settings could not be saved: that is said, and the
// run does not pass for a clean one.
TEST_F(CompileTest, SettingsThatCannotBeSavedGiveExitOne) {
  const fs::path registry = dir_ / "config" / "corvina" / "registry.db";
  ASSERT_TRUE(fs::exists(registry));
  fs::permissions(registry, fs::perms::owner_read);
  ProgramRun run = Compile({"-o", chm_.string(), "--title", "New Title", "--no-open", "--yes"});
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  EXPECT_TRUE(fs::exists(chm_));
  EXPECT_NE(run.err.find("Corvina: cannot write registry database " + registry.string() +
                         ": the file or its folder is read-only"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(registry.string() + "-wal"));
  EXPECT_FALSE(fs::exists(registry.string() + "-shm"));
}

// What a build pipeline reads: with --quiet only the compiler's numbered messages, with
// --diagnostics=gnu in the form editors and CI annotate; stderr keeps the warnings' summary.
TEST_F(CompileTest, PipelineOutputGivesTheWarningAtItsPlace) {
  WriteFileBytes(site_ / "guide/setup.htm",
                 "<html><head><title>Setup</title></head>\n<body>\n"
                 "<p><a href=\"gone.htm\">gone</a></p>\n</body></html>\n");
  const std::string message =
      "HHC4001: Found file guide/gone.htm while scanning guide/setup.htm, but couldn't find it "
      "on disk\n";
  const std::vector<std::string> options = {"-o", chm_.string(), "--no-open", "--yes"};
  const auto compile = [&](std::vector<std::string> more) {
    more.insert(more.begin(), options.begin(), options.end());
    ProgramRun run = Compile(more);
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find("Corvina: There are warnings while compiling: "), std::string::npos);
    EXPECT_EQ(run.err.find("HHC"), std::string::npos) << run.err;
    return run;
  };
  ProgramRun run = compile({"-q", "--diagnostics=gnu"});
  EXPECT_EQ(run.out, "guide/setup.htm:3: warning: " + message);
  EXPECT_EQ(run.err.find("%"), std::string::npos) << run.err;  // no progress figure
  EXPECT_EQ(compile({"--quiet"}).out, "HHC4001: Warning: " + message.substr(9));
  // Without --quiet the progress lines stay, the message among them rewritten.
  run = compile({"--diagnostics=gnu"});
  EXPECT_NE(run.out.find("\nguide/setup.htm:3: warning: " + message), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Processing"), std::string::npos) << run.out;
  EXPECT_EQ(LeftInSite(), std::set<std::string>{});
}

}  // namespace
}  // namespace corvina::chain
