#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"
#include "platform/UniqueFd.h"
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

// The whole road: a site folder through corvina, our hhc and chmcmd, read back by libchm and
// by chmls. Every test has its own settings (TempDir points XDG_CONFIG_HOME into itself).
std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class CompileChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testing::TestDataPath("sites/basic"), site_, fs::copy_options::recursive);
    fs::create_directories(out_);
    ProgramRun setup = RunProgram({BuiltProgram("corvina"), "setup"});
    ASSERT_EQ(setup.exit_code, 0) << setup.err;
  }

  ProgramRun Compile(std::vector<std::string> options) {
    std::vector<std::string> argv = {BuiltProgram("corvina"), "compile", site_.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunProgram(argv);
  }

  // The contents or index that chmls reads from the compiled file, one entry a line: indent,
  // the names, "->" and the page. Labels are Windows-1252 inside; they come back as UTF-8.
  std::vector<std::string> Outline(const std::string& what) {
    const fs::path file = dir_ / (what + ".txt");
    RunProgram({"/usr/bin/chmls", what, chm_.string(), file.string()});
    const std::string text = ReadFileBytes(file);
    std::vector<std::string> lines;
    int depth = -1;
    std::string entry;
    // The tokens of a sitemap, read in order: list starts and ends, parameters, entry ends.
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
      const std::string tag = Lower(text.substr(at, text.find('>', at) + 1 - at));
      if (tag == "<ul>") {
        ++depth;
      } else if (tag == "</ul>") {
        --depth;
      } else if (tag == "</object>") {
        if (!entry.empty()) lines.push_back(std::string(2 * depth, ' ') + entry);
        entry.clear();
      } else if (tag.starts_with("<param name=\"")) {
        const size_t value_at = text.find("value=\"", at, 7) + 7;
        const std::string name = text.substr(at + 13, text.find('"', at + 13) - at - 13);
        std::string value = text.substr(value_at, text.find('"', value_at) - value_at);
        for (size_t amp = value.find("&amp;"); amp != std::string::npos;
             amp = value.find("&amp;", amp + 1)) {
          value.replace(amp, 5, "&");
        }
        // Labels are Windows-1252 text; page names are the UTF-8 names the files are stored as.
        if (name != "Local") value = AnsiToUtf8(value);
        entry += (name == "Local" ? " -> " : entry.empty() ? "" : " | ") + value;
      }
    }
    return lines;
  }

  std::set<std::string> TemporaryFilesInSite() {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(site_)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("Cor") || name.starts_with(".")) found.insert(name);
    }
    return found;
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
  fs::path out_ = dir_ / "out";
  fs::path chm_ = out_ / "Basic.chm";
};

TEST_F(CompileChainTest, SiteBecomesAHelpFileThatEveryReaderSees) {
  ProgramRun run = Compile({"-o", chm_.string(), "--title", "Basic Help", "--default-page",
                            "guide/intro.htm", "--index", "--no-open", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with("\nDone!\n")) << run.out;
  EXPECT_NE(run.out.find("Processing index.htm"), std::string::npos);

  // Every page, image and style sheet, byte for byte, through libchm's enumeration.
  const chm::readback::ChmContents contents = ReadWithLibchm(chm_);
  EXPECT_EQ(contents.error, "");
  for (const char* name :
       {"index.htm", "My Page.htm", "NOTES.HTM", "caf\xC3\xA9.htm", "guide/intro.htm",
        "guide/setup.htm", "images/logo.gif", "style.css", "_derived/a.gif", "_derived/b.gif"}) {
    SCOPED_TRACE(name);
    auto it = contents.files.find(std::string("/") + name);
    ASSERT_NE(it, contents.files.end());
    EXPECT_EQ(it->second, ReadFileBytes(site_ / name));
  }

  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  std::vector<std::string> toc = Outline("extracttoc");
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
  std::vector<std::string> index = Outline("extractindex");
  EXPECT_FALSE(index.empty());
  for (std::vector<std::string>* list : {&toc, &index}) {
    for (const std::string& line : *list) {
      const size_t arrow = line.find(" -> ");
      if (arrow == std::string::npos) continue;
      EXPECT_TRUE(contents.files.count("/" + line.substr(arrow + 4))) << line;
    }
  }
  std::set<std::string> keywords;
  for (const std::string& line : index)
    keywords.insert(line.substr(0, line.find(" | ")));
  EXPECT_TRUE(keywords.count("home"));
  EXPECT_TRUE(keywords.count("intro"));

  const ProgramRun system = RunProgram({"/usr/bin/chmls", "printsystem", chm_.string()});
  EXPECT_NE(system.out.find("Title from [options]          :Basic Help"), std::string::npos);
  EXPECT_NE(system.out.find("Default topic from [options]  :guide/intro.htm"), std::string::npos);

  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, SecondRunUsesWhatTheFirstSaved) {
  ASSERT_EQ(
      Compile({"-o", chm_.string(), "--title", "Saved Title", "--no-index", "--no-open"}).exit_code,
      0);
  fs::remove(chm_);
  ProgramRun second = Compile({});
  ASSERT_EQ(second.exit_code, 0) << second.err;
  ASSERT_TRUE(fs::exists(chm_));
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const ProgramRun system = RunProgram({"/usr/bin/chmls", "printsystem", chm_.string()});
  EXPECT_NE(system.out.find(":Saved Title"), std::string::npos);
  EXPECT_EQ(system.out.find("Index file from [options]"), std::string::npos);
}

TEST_F(CompileChainTest, SameSiteCompilesIntoTheSameBytesTwice) {
  ASSERT_EQ(Compile({"-o", chm_.string(), "--index", "--no-open", "--yes"}).exit_code, 0);
  const std::string first = ReadFileBytes(chm_);
  ProgramRun second = Compile({"--yes"});
  ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
  EXPECT_TRUE(ReadFileBytes(chm_) == first) << "the second compile gave other bytes";
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, BrokenLinkGivesWarningsAndExitOne) {
  WriteFileBytes(site_ / "guide/setup.htm",
                 "<html><head><title>Setup</title></head><body><a href=\"gone.htm\">x</a>"
                 "</body></html>");
  ProgramRun run = Compile({"-o", chm_.string(), "--no-open", "--yes"});
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("HHC4001: Warning:"), std::string::npos) << run.out;
  // The log is on stdout; stderr sums it up without repeating its lines.
  EXPECT_NE(run.err.find("Corvina: There are warnings while compiling: "), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("HHC"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Warning:"), std::string::npos) << run.err;
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, LockedOutputStopsOnNoAndWhenNoViewerHoldsIt) {
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
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, MissingCompilerStopsBeforeAnythingIsWritten) {
  const fs::path workshop = dir_ / "workshop";
  fs::create_directories(workshop);
  WriteFileBytes(workshop / "hhc", "#!/bin/sh\nexit 0\n");
  fs::permissions(workshop / "hhc", fs::perms::owner_all);
  ASSERT_EQ(
      RunProgram({BuiltProgram("corvina"), "setup", "--workshop", workshop.string()}).exit_code, 0);
  fs::remove(workshop / "hhc");
  ProgramRun run = Compile({"-o", chm_.string()});
  EXPECT_EQ(run.exit_code, 3) << run.err;
  EXPECT_FALSE(fs::exists(chm_));
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, CrashingCompilerLeavesNoTemporaryFileAndNoOutput) {
  const fs::path workshop = dir_ / "workshop";
  WriteFileBytes(workshop / "hhc", "#!/bin/sh\necho \"Processing index.htm\"\nkill -SEGV $$\n");
  fs::permissions(workshop / "hhc", fs::perms::owner_all);
  ASSERT_EQ(
      RunProgram({BuiltProgram("corvina"), "setup", "--workshop", workshop.string()}).exit_code, 0);
  ProgramRun run = Compile({"-o", chm_.string(), "--open"});
  // Nothing in the log says "HHC", yet the run failed: it is said, nothing is opened, and
  // since no help file was made the exit status is not that of a compile with warnings. The
  // routine and line of the report are for --verbose only.
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.err.find("Corvina: The help compiler failed with exit code 139\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("in Sitepack."), std::string::npos) << run.err;
  ProgramRun verbose = Compile({"-o", chm_.string(), "--no-open", "--verbose"});
  EXPECT_NE(verbose.err.find("Corvina: The help compiler failed with exit code 139\nin "
                             "Sitepack.frmMain.Generate at line "),
            std::string::npos)
      << verbose.err;
  EXPECT_NE(run.out.find("Processing index.htm"), std::string::npos) << run.out;
  EXPECT_TRUE(run.out.ends_with("hhc was ended by signal 11\n")) << run.out;
  EXPECT_FALSE(fs::exists(chm_));
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, AFailedCompileKeepsTheEarlierHelpFile) {
  ProgramRun good = Compile({"-o", chm_.string(), "--no-open", "--yes"});
  ASSERT_EQ(good.exit_code, 0) << good.out << good.err;
  const std::string before = ReadFileBytes(chm_);
  const fs::path workshop = dir_ / "workshop";
  WriteFileBytes(workshop / "hhc", "#!/bin/sh\necho \"Processing index.htm\"\nkill -KILL $$\n");
  fs::permissions(workshop / "hhc", fs::perms::owner_all);
  ASSERT_EQ(
      RunProgram({BuiltProgram("corvina"), "setup", "--workshop", workshop.string()}).exit_code, 0);
  ProgramRun failed = Compile({"-o", chm_.string(), "--no-open", "--yes"});
  EXPECT_EQ(failed.exit_code, 2) << failed.out << failed.err;
  EXPECT_TRUE(ReadFileBytes(chm_) == before);
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, BadUsageAndBadSitesExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"compile"},
      {"compile", site_.string(), "--frobnicate"},
      {"compile", site_.string(), "--title", "two\nlines"},
      {"compile", (dir_ / "none").string()},
      {"compile", (site_ / "index.htm").string()},
      {"compile", site_.string(), "-o", (dir_ / "no/such/folder/x.chm").string()},
      {"compile", site_.string(), "--default-page", "nowhere.htm"},
      {"bake", site_.string()},
  };
  for (std::vector<std::string> args : cases) {
    args.insert(args.begin(), BuiltProgram("corvina"));
    SCOPED_TRACE(args.back());
    ProgramRun run = RunProgram(args);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

}  // namespace
}  // namespace corvina

namespace corvina {
namespace {

// Names a help file cannot hold, and links out of the site, are left out with a warning each;
// the rest compiles.
TEST_F(CompileChainTest, UnstorableNamesAndLinksOutOfTheSiteAreLeftOut) {
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
  const chm::readback::ChmContents contents = ReadWithLibchm(chm_);
  EXPECT_TRUE(contents.files.count("/index.htm"));
  EXPECT_TRUE(contents.files.count("/links.htm"));
  for (const auto& [name, bytes] : contents.files) {
    EXPECT_EQ(bytes.find("TOP SECRET"), std::string::npos) << name;
    EXPECT_EQ(name.find("secret"), std::string::npos) << name;
    EXPECT_EQ(name.find("latin1"), std::string::npos) << name;
    EXPECT_EQ(name.find('\\'), std::string::npos) << name;
  }
  EXPECT_EQ(TemporaryFilesInSite(), std::set<std::string>{});
}

TEST_F(CompileChainTest, ASiteWithoutPagesIsRefused) {
  for (const bool with_other_files : {false, true}) {
    SCOPED_TRACE(with_other_files);
    const fs::path site = dir_ / (with_other_files ? "styles-only" : "empty");
    fs::create_directories(site);
    if (with_other_files) WriteFileBytes(site / "style.css", "body {}\n");
    ProgramRun run = RunProgram(
        {BuiltProgram("corvina"), "compile", site.string(), "-o", chm_.string(), "--yes"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, "Corvina: " + site.string() +
                           " has no pages (.htm or .html files): there is nothing to compile\n");
    EXPECT_FALSE(fs::exists(chm_));
    EXPECT_EQ(std::distance(fs::directory_iterator(site), fs::directory_iterator()),
              with_other_files ? 1 : 0);
  }
}

// The help file is made, but the site's settings could not be saved: that is said, and the
// run does not pass for a clean one.
TEST_F(CompileChainTest, SettingsThatCannotBeSavedGiveExitOne) {
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

}  // namespace
}  // namespace corvina
