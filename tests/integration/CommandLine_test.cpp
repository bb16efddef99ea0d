#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::BuiltProgram;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// The command line as a new user meets it: a corvina of its own (a copy, so that its
// siblings are the test's), a site, and settings that start empty.
class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testing::TestDataPath("sites/basic"), site_, fs::copy_options::recursive);
    fs::create_directories(bin_);
    fs::copy_file(BuiltProgram("corvina"), corvina_);
  }

  void Sibling(const std::string& name) { fs::create_symlink(BuiltProgram(name), bin_ / name); }

  void Script(const fs::path& path, const std::string& text) {
    WriteFileBytes(path, text);
    fs::permissions(path, fs::perms::owner_all);
  }

  ProgramRun Corvina(std::vector<std::string> args) {
    args.insert(args.begin(), corvina_.string());
    return RunProgram(args);
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
  fs::path bin_ = dir_ / "bin";
  fs::path corvina_ = bin_ / "corvina";
};

TEST_F(CommandLineTest, FirstRunUsesAndRecordsTheCompilerBesideCorvina) {
  Sibling("hhc");
  const fs::path chm = dir_ / "a.chm";
  ProgramRun first = Corvina({"compile", site_.string(), "-o", chm.string(), "--no-open"});
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_NE(first.err.find("Corvina: no help compiler was recorded; using " +
                           (bin_ / "hhc").string() + " and recording its folder\n"),
            std::string::npos)
      << first.err;
  EXPECT_TRUE(fs::exists(chm));
  ProgramRun second = Corvina({"compile", site_.string(), "--no-open"});
  EXPECT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(second.err, "");
}

TEST_F(CommandLineTest, CompilerThatMayNotRunStopsBeforeTheOldOutputIsTouched) {
  const fs::path workshop = dir_ / "workshop";
  Script(workshop / "hhc", "#!/bin/sh\nexit 0\n");
  ASSERT_EQ(Corvina({"setup", "--workshop", workshop.string()}).exit_code, 0);
  fs::permissions(workshop / "hhc", fs::perms::owner_read | fs::perms::owner_write);
  const fs::path chm = dir_ / "old.chm";
  WriteFileBytes(chm, "the old help file");
  ProgramRun run = Corvina({"compile", site_.string(), "-o", chm.string(), "--no-open"});
  EXPECT_EQ(run.exit_code, 3) << run.err;
  EXPECT_EQ(run.err.find("CreateProcess"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFileBytes(chm), "the old help file");
}

TEST_F(CommandLineTest, ARefusedRunSavesNothing) {
  Sibling("hhc");
  const std::vector<std::vector<std::string>> refused = {
      {"-o", (dir_ / "no/such/folder/x.chm").string()},
      {"--default-page", "nowhere.htm", "--title", "Never saved"},
  };
  for (const std::vector<std::string>& options : refused) {
    std::vector<std::string> args = {"compile", site_.string(), "--no-open"};
    args.insert(args.end(), options.begin(), options.end());
    SCOPED_TRACE(options.front());
    EXPECT_EQ(Corvina(args).exit_code, 2);
  }
  // The plain run that follows uses the defaults: the site's own title and folder.
  ProgramRun plain = Corvina({"compile", site_.string(), "--no-open"});
  EXPECT_EQ(plain.exit_code, 0) << plain.err;
  EXPECT_FALSE(fs::exists(site_ / "Never saved.CHM"));
  bool compiled_in_site = false;
  for (const auto& entry : fs::directory_iterator(site_)) {
    compiled_in_site = compiled_in_site || entry.path().extension() == ".CHM";
  }
  EXPECT_TRUE(compiled_in_site);
}

TEST_F(CommandLineTest, InAPipelineTheViewerOpensOnlyWhenAskedFor) {
  Sibling("hhc");
  const fs::path opened = dir_ / "opened.txt";
  Script(bin_ / "hh", "#!/bin/sh\necho \"$1\" >> '" + opened.string() + "'\n");
  const char* old_display = ::getenv("DISPLAY");
  const std::string kept = old_display != nullptr ? old_display : "";
  ::setenv("DISPLAY", ":99", 1);
  // Standard output is a file here, as in a pipeline: the saved "open" setting (on by
  // default) does not open a viewer; --open does.
  ProgramRun unasked =
      Corvina({"compile", site_.string(), "-o", (dir_ / "unasked.chm").string(), "--yes"});
  ProgramRun asked =
      Corvina({"compile", site_.string(), "-o", (dir_ / "asked.chm").string(), "--open", "--yes"});
  if (old_display != nullptr) {
    ::setenv("DISPLAY", kept.c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
  EXPECT_EQ(unasked.exit_code, 0) << unasked.err;
  ASSERT_EQ(asked.exit_code, 0) << asked.err;
  // The viewer runs detached; its line is waited for, and then the first run's would be there.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadFileBytes(opened).find("asked.chm") == std::string::npos &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFileBytes(opened), (dir_ / "asked.chm").string() + "\n");
}

TEST_F(CommandLineTest, CtrlCStopsTheRunWithoutAnotherFailureMessage) {
  const fs::path workshop = dir_ / "workshop";
  // The compiler has the user press Ctrl-C at corvina, then waits to be ended.
  Script(workshop / "hhc",
         "#!/bin/sh\necho 'Processing index.htm'\nkill -INT $PPID\nexec sleep 120\n");
  ASSERT_EQ(Corvina({"setup", "--workshop", workshop.string()}).exit_code, 0);
  const fs::path chm = dir_ / "x.chm";
  ProgramRun run = Corvina({"compile", site_.string(), "-o", chm.string(), "--no-open"});
  EXPECT_EQ(run.exit_code, 3) << run.err;
  EXPECT_EQ(run.err.find("failed with exit code"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(chm));
}

TEST_F(CommandLineTest, NamesOutsideWindows1252CompileUnderOneName) {
  Sibling("hhc");
  const fs::path site = dir_ / "\xE6\xBC\xA2\xE5\xAD\x97";  // a folder named in Chinese
  fs::rename(site_, site);
  // The home page's label gives the title, and the title the output's name.
  const std::string title = "Caf\xC3\xA9 \xE2\x82\xAC \xE6\xBC\xA2";
  const std::string outline = ReadFileBytes(site / "navigation.txt");
  ASSERT_TRUE(outline.starts_with("index.htm\n"));
  WriteFileBytes(site / "navigation.txt", title + " | " + outline);
  ProgramRun first = Corvina({"compile", site.string(), "--no-open"});
  EXPECT_EQ(first.exit_code, 0) << first.out << first.err;
  // The output is named as the title is: the name saved, made and opened is one.
  EXPECT_TRUE(fs::exists(site / (title + ".CHM")));
  ProgramRun second = Corvina({"compile", site.string(), "--no-open"});
  EXPECT_EQ(second.exit_code, 0) << second.out << second.err;
  size_t help_files = 0;
  for (const auto& entry : fs::directory_iterator(site)) {
    help_files += entry.path().extension() == ".CHM" ? 1 : 0;
  }
  EXPECT_EQ(help_files, 1u);
}

TEST_F(CommandLineTest, ASiteReachedThroughASymbolicLinkCompiles) {
  Sibling("hhc");
  const fs::path link = dir_ / "link";
  fs::create_directory_symlink(site_, link);
  ProgramRun run =
      Corvina({"compile", link.string(), "-o", (dir_ / "x.chm").string(), "--no-open"});
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(fs::exists(dir_ / "x.chm"));
}

}  // namespace
}  // namespace corvina
