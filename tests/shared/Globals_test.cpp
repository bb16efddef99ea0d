#include "shared/Globals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "mainwindow/frmMain.h"
#include "platform/Platform.h"
#include "platform/PosixFileSystem.h"
#include "support/mTempFile.h"
#include "testing/FakeHost.h"
#include "tests/fakes/FakeEnvironment.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {

using namespace Globals;
using namespace mTempFile;
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

class GlobalsTest : public ::testing::Test {
 protected:
  FakeMessageBoxes boxes_;
  PosixFileSystem fs_;
  FakeEnvironment environment_;
  ScopedPlatform platform_{
      Platform{.message_boxes = &boxes_, .file_system = &fs_, .environment = &environment_}};
  TempDir dir_;
};

TEST_F(GlobalsTest, AddressesBecomePathsAndNames) {
  const std::pair<std::string_view, std::string_view> to_path[] = {
      {"file:///home/a/My Site", "/home/a/My Site"},
      {"file:///home/\xC3\xA9t\xC3\xA9/site", "/home/\xC3\xA9t\xC3\xA9/site"},
      {"FILE:///home/a", "FILE:///home/a"},
      {"http://example.org/site", "http://example.org/site"},
      {"file", ""},
      {"", ""},
  };
  for (const auto& [url, path] : to_path) {
    SCOPED_TRACE(url);
    EXPECT_EQ(URLtoPath(url), path);
  }
  EXPECT_EQ(GetOnlyFileName("/home/a/Cor1A.tmp"), "Cor1A.tmp");
  EXPECT_EQ(GetOnlyFileName("/home/a/"), "");
  EXPECT_EQ(GetOnlyFileName("name.hhc"), "name.hhc");
  // The site's folder is the text after the last slash.
  frmMain form;
  EXPECT_EQ(form.GetSiteDirectory("file:///home/a/web"), "web");
  EXPECT_EQ(form.GetSiteDirectory("file:///home/a/web/"), "");
  EXPECT_EQ(form.GetSiteDirectory("web"), "web");
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(GlobalsTest, WriteFileAddsALineEndAndWritesWindows1252) {
  const std::string path = (dir_ / "f.tmp").string();
  ASSERT_TRUE(WriteFile(path, "Caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\r\n"));
  EXPECT_EQ(ReadFileBytes(path), "Caf\xE9 \x80 ?\r\n\r\n");
  ASSERT_TRUE(WriteFile(path, "x"));
  EXPECT_EQ(ReadFileBytes(path), "x\r\n");
}

TEST_F(GlobalsTest, WriteFileThatCannotBeOpenedReportsAndReturnsFalse) {
  EXPECT_FALSE(WriteFile((dir_ / "missing/f.tmp").string(), "x"));
  EXPECT_FALSE(WriteFile("", "x"));
  ASSERT_EQ(boxes_.shown.size(), 4u);
  const std::string missing = (dir_ / "missing/f.tmp").string();
  const std::string report =
      "Path not found: " + missing + "\r\nin Sitepack.Globals.WriteFile at line ";
  EXPECT_EQ(boxes_.shown[0].text.substr(0, report.size()), report);
  EXPECT_EQ(boxes_.shown[0].trailer_at, missing.size() + 16);
  EXPECT_EQ(boxes_.shown[1].text.substr(0, 25), "Bad file name or number\r\n");
}

TEST(WriteFileFaultTest, AFullDiskIsReportedAndTheCallerLearnsOfIt) {
  FakeMessageBoxes boxes;
  FakeFileSystem files;
  files.folders = {"/", "/site"};
  files.fail_writes_with = Error{61, "Disk full"};
  ScopedPlatform platform(Platform{.message_boxes = &boxes, .file_system = &files});
  EXPECT_FALSE(WriteFile("/site/Cor1.tmp", "text"));
  EXPECT_TRUE(files.files.empty());
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_TRUE(
      boxes.shown[0].text.starts_with("Disk full\r\nin Sitepack.Globals.WriteFile at line "));
  files.fail_writes_with.reset();
  EXPECT_TRUE(WriteFile("/site/Cor1.tmp", "text"));
  EXPECT_EQ(files.files["/site/Cor1.tmp"], "text\r\n");
}

TEST_F(GlobalsTest, ConvertUrlAsksTheHostAndReportsWithoutOne) {
  FakeWeb web;
  FakeHostApplication host;
  host.web = &web;
  HostApplication = &host;
  EXPECT_EQ(ConvertURL("file:///site/folder/page.htm"), "folder/page.htm");
  HostApplication = nullptr;
  EXPECT_EQ(ConvertURL("file:///site/a.htm"), "");
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.find("in Sitepack.Globals.ConvertURL at line "),
            std::string::npos);
}

TEST_F(GlobalsTest, TempFileNamesAreNewAndNeverReused) {
  const std::string a = TempFile(dir_.path().string(), "Corvina");
  const std::string b = TempFile(dir_.path().string() + "/", "Corvina");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  for (const std::string& path : {a, b}) {
    SCOPED_TRACE(path);
    const std::string name = GetOnlyFileName(path);
    EXPECT_EQ(name.substr(0, 3), "Cor");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 3), name.size() - 4);
    EXPECT_EQ(path, dir_.path().string() + "/" + name);
    EXPECT_EQ(ReadFileBytes(path), "");
  }
  EXPECT_EQ(TempFile((dir_ / "missing").string(), "Corvina"), "");
  EXPECT_EQ(TempFile("", "Corvina"), "");
}

TEST_F(GlobalsTest, TempFileStartsAtARandomNumberAndPassesOverTakenNames) {
  environment_.next_random = 0x1ABCD;  // the low 16 bits count
  testing::WriteFileBytes(dir_ / "CorABCD.tmp", "");
  EXPECT_EQ(TempFile(dir_.path().string(), "Corvina"), (dir_ / "CorABCE.tmp").string());
}

TEST_F(GlobalsTest, TempFileWithARoleTriesTheSameNameFirstAndStillNeverReusesOne) {
  const std::string folder = dir_.path().string();
  const std::string contents = TempFile(folder, "Corvina", "contents");
  ASSERT_FALSE(contents.empty());
  const std::string taken = TempFile(folder, "Corvina", "contents");
  const std::string index = TempFile(folder, "Corvina", "index");
  // The first name is in use: the next one.
  EXPECT_EQ((std::set<std::string>{contents, taken, index}).size(), 3u);
  for (const std::string& path : {contents, taken, index})
    ASSERT_TRUE(std::filesystem::remove(path));
  // Once the files are gone, the same folder and role give the same names again.
  EXPECT_EQ(TempFile(folder, "Corvina", "contents"), contents);
  EXPECT_EQ(TempFile(folder, "Corvina", "index"), index);
  // A name whose ".htm" sibling exists is passed over, as for any temporary name.
  ASSERT_TRUE(std::filesystem::remove(contents));
  testing::WriteFileBytes(contents + ".htm", "");
  EXPECT_NE(TempFile(folder, "Corvina", "contents"), contents);
}

TEST_F(GlobalsTest, ShortNameIsAnAbsolutePathQuotedWhenItHoldsABlank) {
  testing::WriteFileBytes(dir_ / "my help.chm", "");
  testing::WriteFileBytes(dir_ / "plain.chm", "");
  EXPECT_EQ(GetShortName((dir_ / "plain.chm").string()), (dir_ / "plain.chm").string());
  EXPECT_EQ(GetShortName((dir_ / "my help.chm").string()),
            "\"" + (dir_ / "my help.chm").string() + "\"");
  EXPECT_EQ(GetShortName((dir_ / "none.chm").string()), "");
  EXPECT_EQ(GetShortName(dir_.path().string() + "/"), dir_.path().string());
}

}  // namespace
}  // namespace corvina
