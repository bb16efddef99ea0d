#include "apps/cli/SiteSettingsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "apps/cli/SiteSettingsStore.h"
#include "tests/fakes/FakeSettingsStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina::cli {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const SiteLocation kSite{"/home/a/My Site", "file:///home/a/My Site"};

std::vector<std::tuple<std::string, std::string, int>> Values(const SiteSettingsFile& file) {
  std::vector<std::tuple<std::string, std::string, int>> values;
  for (const auto& [key, setting] : file.values)
    values.emplace_back(key, setting.value, setting.line);
  return values;
}

TEST(SiteSettingsFileTest, ReadsKnownKeysAndWarnsAboutEveryBadLineInOrder) {
  const std::string long_title(200, 'x');
  const std::string text =
      "; a comment\r\n"
      "# another\n"
      "[corvina]\n"
      "title = My Help; part #2\n"
      "OUTPUT = out/../help/My.chm\n"
      "DefaultPage = ./guide/intro.htm\n"
      "USEKEYWORDS = maybe\n"
      "this is no setting\n"
      "COLOR = red\n"
      "   FAVORITES = false\n"
      "[Other]\n"
      "VIEWRESULT = True\n"
      "[Corvina]\n"
      "TITLE = " +
      long_title +
      "\n"
      "CLOSELOG = 1\n"
      "[broken\n"
      "VIEWRESULT = 0";
  const SiteSettingsFile file = ParseSiteSettings(text, "/home/a/My Site/corvina.ini", kSite);
  const std::vector<std::tuple<std::string, std::string, int>> expected = {
      {"CLOSELOG", "1", 15},
      {"DEFAULTPAGE", "file:///home/a/My Site/guide/intro.htm", 6},
      {"FAVORITES", "false", 10},
      {"OUTPUT", "/home/a/My Site/help/My.chm", 5},
      {"TITLE", "My Help; part #2", 4},
      {"VIEWRESULT", "0", 17},
  };
  EXPECT_EQ(Values(file), expected);
  const std::string at = "/home/a/My Site/corvina.ini:";
  const std::vector<std::string> warnings = {
      at + "7: USEKEYWORDS: \"maybe\" is not True or False, left out",
      at + "8: not a \"KEY = value\" line, left out",
      at + "9: unknown setting COLOR, left out",
      at + "12: section [Other] is not [Corvina], VIEWRESULT left out",
      at + "14: line longer than 197 characters, left out",
      at + "16: not a \"KEY = value\" line, left out",
  };
  EXPECT_EQ(file.warnings, warnings);
}

TEST(SiteSettingsFileTest, EmptyAndAbsoluteValuesStayAsGiven) {
  const SiteSettingsFile file =
      ParseSiteSettings("OUTPUT = /srv/out/x.chm\nDEFAULTPAGE =\nTITLE=\n", "corvina.ini", kSite);
  EXPECT_TRUE(file.warnings.empty());
  const std::vector<std::tuple<std::string, std::string, int>> expected = {
      {"DEFAULTPAGE", "", 2}, {"OUTPUT", "/srv/out/x.chm", 1}, {"TITLE", "", 3}};
  EXPECT_EQ(Values(file), expected);
}

// The written text itself is checked where corvina writes it; here, that it reads back.
TEST(SiteSettingsFileTest, WrittenTextReadsBackTheSame) {
  const std::vector<std::pair<std::string, std::string>> values = {
      {"TITLE", "Help; with = signs"},
      {"DEFAULTPAGE", "file:///home/a/My Site/guide/intro.htm"},
      {"OUTPUT", "/home/a/My Site/out/Help.chm"},
      {"USEKEYWORDS", "True"},
      {"FAVORITES", "False"},
      {"VIEWRESULT", "False"},
      {"CLOSELOG", "True"},
  };
  Result<std::string> text = SiteSettingsText(values, kSite);
  ASSERT_TRUE(text.ok()) << text.error().description;
  const SiteSettingsFile file = ParseSiteSettings(*text, "corvina.ini", kSite);
  EXPECT_TRUE(file.warnings.empty());
  for (const auto& [key, value] : values) {
    SCOPED_TRACE(key);
    ASSERT_EQ(file.values.count(key), 1u);
    EXPECT_EQ(file.values.at(key).value, value);
  }
  // An output beside the site moves with it; one farther away keeps its absolute path.
  EXPECT_EQ(SiteFileValue("OUTPUT", "/home/a/out.chm", kSite), "../out.chm");
  EXPECT_EQ(SiteFileValue("OUTPUT", "/home/build/out.chm", kSite), "../../build/out.chm");
  EXPECT_EQ(SiteFileValue("OUTPUT", "/srv/out.chm", kSite), "/srv/out.chm");
}

TEST(SiteSettingsFileTest, RefusesValuesThatWouldNotReadBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"TITLE", " padded"},
      {"TITLE", "two\nlines"},
      {"TITLE", std::string(190, 'x')},
  };
  for (const auto& value : cases) {
    SCOPED_TRACE(value.second);
    EXPECT_FALSE(SiteSettingsText({value}, kSite).ok());
  }
}

TEST(SiteSettingsFileTest, ReplacesTheFileInOneStepAndKeepsItOnFailure) {
  TempDir dir;
  ASSERT_TRUE(WriteSiteSettingsFile(dir.path(), "TITLE = one\n").ok());
  ASSERT_TRUE(WriteSiteSettingsFile(dir.path(), "TITLE = two\n").ok());
  EXPECT_EQ(ReadFileBytes(dir / "corvina.ini"), "TITLE = two\n");

  // A folder in the file's place cannot be replaced: it stays, and no temporary file is left.
  TempDir other;
  fs::create_directories(other / "corvina.ini" / "kept");
  EXPECT_FALSE(WriteSiteSettingsFile(other.path(), "TITLE = three\n").ok());
  EXPECT_TRUE(fs::is_directory(other / "corvina.ini" / "kept"));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(other.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"corvina.ini"});
}

TEST(SiteSettingsFileTest, AbsentFileGivesNothingAndAFolderInItsPlaceAWarning) {
  TempDir dir;
  const SiteLocation site{dir.path(), "file://" + dir.path().string()};
  SiteSettingsFile file = ReadSiteSettings(site);
  EXPECT_TRUE(file.values.empty());
  EXPECT_TRUE(file.warnings.empty());
  fs::create_directories(dir / "corvina.ini");
  file = ReadSiteSettings(site);
  EXPECT_EQ(file.warnings, std::vector<std::string>{(dir / "corvina.ini").string() +
                                                    ": cannot be read, left out"});
}

TEST(SiteSettingsStoreTest, SiteFileComesBeforeTheUserStoreWhichKeepsEveryWrite) {
  FakeSettingsStore user;
  user.values[{"Corvina", "file:///s", "TITLE"}] = "From store";
  user.values[{"Corvina", "file:///s", "OUTPUT"}] = "/s/store.chm";
  SiteSettingsStore store(user, {"file:///s", {{"TITLE", "From file"}}, false});
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"file:///s", "Title", "From file"},
      {"file:///s", "OUTPUT", "/s/store.chm"},
      {"file:///s", "CLOSELOG", "default"},
      {"file:///other", "TITLE", "default"},
  };
  for (const auto& [section, key, value] : cases) {
    SCOPED_TRACE(section + " " + key);
    Result<std::string> got = store.GetSetting("Corvina", section, key, "default");
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(*got, value);
  }
  ASSERT_TRUE(store.SaveSetting("Corvina", "file:///s", "TITLE", "Typed").ok());
  EXPECT_EQ(user.values[std::make_tuple("Corvina", "file:///s", "TITLE")], "Typed");
  EXPECT_EQ(*store.GetSetting("Corvina", "file:///s", "TITLE", ""), "From file");

  SiteSettingsStore read_only(user, {"file:///s", {}, true});
  ASSERT_TRUE(read_only.SaveSetting("Corvina", "file:///s", "TITLE", "Not kept").ok());
  ASSERT_TRUE(read_only.DeleteSection("Corvina", "file:///s").ok());
  EXPECT_EQ(user.writes.size(), 1u);
  EXPECT_EQ(user.values.size(), 2u);
}

}  // namespace
}  // namespace corvina::cli
