#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/fuzz/ChmReadBack.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::BuiltProgram;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// A site's own corvina.ini through the real corvina: shown by `settings`, written by
// --save-to-site, used by compile before the user's store and after the command line.
// The settings as printed, their columns' padding taken out.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  }
  return out;
}

class SiteSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testing::TestDataPath("sites/basic"), site_, fs::copy_options::recursive);
  }

  ProgramRun Corvina(const std::string& command, std::vector<std::string> options = {}) {
    std::vector<std::string> argv = {BuiltProgram("corvina"), command, site_.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunProgram(argv);
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
};

TEST_F(SiteSettingsTest, ShowsEachSettingWithWhereItComesFrom) {
  ProgramRun run = Corvina("settings");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Squeezed(run.out),
            "TITLE = Basic Site (default)\n"
            "DEFAULTPAGE = index.htm (default)\n"
            "OUTPUT = Basic Site.CHM (default)\n"
            "USEKEYWORDS = True (default)\n"
            "FAVORITES = True (default)\n"
            "VIEWRESULT = True (default)\n"
            "CLOSELOG = False (default)\n");
  EXPECT_EQ(run.err, "");

  WriteFileBytes(site_ / "corvina.ini",
                 "[Corvina]\nTITLE = File Title\nFAVORITES = no\nOUTPUT = ../out.chm\n");
  run = Corvina("settings", {"--output", (dir_ / "cli.chm").string(), "--no-open"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Squeezed(run.out),
            "TITLE = File Title (corvina.ini line 2)\n"
            "DEFAULTPAGE = index.htm (default)\n"
            "OUTPUT = ../cli.chm (command line)\n"
            "USEKEYWORDS = True (default)\n"
            "FAVORITES = True (default)\n"
            "VIEWRESULT = False (command line)\n"
            "CLOSELOG = False (default)\n");
  EXPECT_EQ(run.err, "Corvina: " + (site_ / "corvina.ini").string() +
                         ":3: FAVORITES: \"no\" is not True or False, left out\n");
}

TEST_F(SiteSettingsTest, SavedToTheSiteTheSettingsTravelWithACopyOfTheFolder) {
  ProgramRun run = Corvina(
      "settings", {"--title", "Travelling Help", "--default-page", "guide/intro.htm", "-o",
                   (site_ / "out.chm").string(), "--no-open", "--no-index", "--save-to-site"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "Corvina: wrote " + (site_ / "corvina.ini").string() + "\n");
  EXPECT_EQ(ReadFileBytes(site_ / "corvina.ini"),
            "; Corvina's settings for this site. They come before the ones saved per user and\n"
            "; after the command line's. OUTPUT is relative to this folder, DEFAULTPAGE a page "
            "in it.\n"
            "[Corvina]\n"
            "TITLE = Travelling Help\n"
            "DEFAULTPAGE = guide/intro.htm\n"
            "OUTPUT = out.chm\n"
            "USEKEYWORDS = False\n"
            "FAVORITES = True\n"
            "VIEWRESULT = False\n"
            "CLOSELOG = False\n");

  // A copy of the folder, compiled by another user (a store of its own), gets them all.
  const fs::path copy = dir_ / "clone";
  fs::copy(site_, copy, fs::copy_options::recursive);
  TempDir other_user;
  ASSERT_EQ(RunProgram({BuiltProgram("corvina"), "setup"}).exit_code, 0);
  run = RunProgram({BuiltProgram("corvina"), "compile", copy.string(), "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  ASSERT_TRUE(fs::exists(copy / "out.chm"));
  EXPECT_FALSE(fs::exists(site_ / "out.chm"));
  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const ProgramRun system =
      RunProgram({"/usr/bin/chmls", "printsystem", (copy / "out.chm").string()});
  EXPECT_NE(system.out.find("Travelling Help"), std::string::npos) << system.out;
  EXPECT_NE(system.out.find("guide/intro.htm"), std::string::npos) << system.out;
  // The settings file is the site's, not a page of the help file.
  const chm::readback::ChmContents contents = chm::readback::ReadWithLibchm(copy / "out.chm");
  EXPECT_EQ(contents.files.count("/corvina.ini"), 0u);
  EXPECT_EQ(contents.files.count("/index.htm"), 1u);
  // The compile did not touch the site's file.
  EXPECT_EQ(ReadFileBytes(copy / "corvina.ini"), ReadFileBytes(site_ / "corvina.ini"));
}

TEST_F(SiteSettingsTest, ResetClearsOnlyTheUsersStore) {
  ASSERT_EQ(RunProgram({BuiltProgram("corvina"), "setup"}).exit_code, 0);
  fs::create_directories(dir_ / "out");
  ProgramRun run = Corvina("compile", {"--title", "Stored Title", "-o",
                                       (dir_ / "out" / "a.chm").string(), "--no-open", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  WriteFileBytes(site_ / "corvina.ini", "CLOSELOG = True\n");
  run = Corvina("settings");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(Squeezed(run.out).find("TITLE = Stored Title (user store)"), std::string::npos)
      << run.out;
  EXPECT_NE(Squeezed(run.out).find("CLOSELOG = True (corvina.ini line 1)"), std::string::npos)
      << run.out;

  run = Corvina("settings", {"--reset"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(Squeezed(run.out).find("TITLE = Basic Site (default)"), std::string::npos) << run.out;
  EXPECT_NE(Squeezed(run.out).find("CLOSELOG = True (corvina.ini line 1)"), std::string::npos)
      << run.out;
  EXPECT_EQ(ReadFileBytes(site_ / "corvina.ini"), "CLOSELOG = True\n");
  // Showing the settings saved none of them.
  run = Corvina("settings");
  EXPECT_NE(Squeezed(run.out).find("TITLE = Basic Site"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace corvina
