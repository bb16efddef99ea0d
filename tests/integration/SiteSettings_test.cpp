#include "tests/integration/Chain.h"

namespace corvina::chain {
namespace {

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

class SiteSettingsTest : public ChainTest {
 protected:
  void SetUp() override { CopySite(); }

  ProgramRun Settings(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"settings", site_.string()});
    return Corvina(std::move(options));
  }
};

TEST_F(SiteSettingsTest, ShowsEachSettingWithWhereItComesFrom) {
  ProgramRun run = Settings();
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
  run = Settings({"--output", (dir_ / "cli.chm").string(), "--no-open"});
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
  ProgramRun run =
      Settings({"--title", "Travelling Help", "--default-page", "guide/intro.htm", "-o",
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
  SetUpCorvina();
  run = Corvina({"compile", copy.string(), "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_FALSE(fs::exists(site_ / "out.chm"));
  std::map<std::string, std::string> options = ProjectOptions(copy / "out.chm");
  EXPECT_EQ(options["Title"], "Travelling Help");
  EXPECT_EQ(options["Default topic"], "guide/intro.htm");
  // The settings file is the site's, not a page of the help file.
  const std::map<std::string, std::string> files = SiteFilesIn(copy / "out.chm");
  EXPECT_EQ(files.count("corvina.ini"), 0u);
  EXPECT_EQ(files.count("index.htm"), 1u);
  // The compile did not touch the site's file.
  EXPECT_EQ(ReadFileBytes(copy / "corvina.ini"), ReadFileBytes(site_ / "corvina.ini"));
}

TEST_F(SiteSettingsTest, ResetClearsOnlyTheUsersStore) {
  SetUpCorvina();
  ProgramRun run = Compile({"--title", "Stored Title", "-o", chm_.string(), "--no-open", "--yes"});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  WriteFileBytes(site_ / "corvina.ini", "CLOSELOG = True\n");
  run = Settings();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(Squeezed(run.out).find("TITLE = Stored Title (user store)"), std::string::npos)
      << run.out;
  EXPECT_NE(Squeezed(run.out).find("CLOSELOG = True (corvina.ini line 1)"), std::string::npos)
      << run.out;

  run = Settings({"--reset"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(Squeezed(run.out).find("TITLE = Basic Site (default)"), std::string::npos) << run.out;
  EXPECT_NE(Squeezed(run.out).find("CLOSELOG = True (corvina.ini line 1)"), std::string::npos)
      << run.out;
  EXPECT_EQ(ReadFileBytes(site_ / "corvina.ini"), "CLOSELOG = True\n");
  // Showing the settings saved none of them.
  run = Settings();
  EXPECT_NE(Squeezed(run.out).find("TITLE = Basic Site"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace corvina::chain
