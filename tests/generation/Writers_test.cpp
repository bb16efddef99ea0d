#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "generation/SitemapText.h"
#include "mainwindow/frmMain.h"
#include "platform/Platform.h"
#include "platform/PosixFileSystem.h"
#include "shared/Globals.h"
#include "support/mTempFile.h"
#include "testing/FakeHost.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeSettingsStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {

using namespace Globals;
using namespace mTempFile;
namespace {

using testing::MatchesGolden;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

// The writers against an in-memory host whose site folder is a real temporary folder.
class WritersTest : public ::testing::Test {
 protected:
  WritersTest() : web_(dir_.path().string()) {
    host_.web = &web_;
    HostApplication = &host_;
    SiteFolder = dir_.path().string();
    form_.mWeb = &web_;
    form_.suiParams["OUTPUT"].Value = dir_.path().string() + "/Help.CHM";
    form_.suiParams["TITLE"].Value = "My Help";
  }
  ~WritersTest() override { HostApplication = nullptr; }

  // The generated text with the run's own names replaced by stable ones.
  std::string Stable(std::string text) {
    const std::pair<std::string, std::string> names[] = {
        {form_.mDerivedPage, "SITE/DERIVED.tmp.htm"},
        {form_.mIndexFile, "SITE/INDEX.tmp"},
        {form_.mContentsFile, "SITE/CONTENTS.tmp"},
        {form_.mProjectFile, "SITE/PROJECT.tmp"},
        {GetOnlyFileName(form_.mIndexFile), "INDEX.tmp"},
        {GetOnlyFileName(form_.mContentsFile), "CONTENTS.tmp"},
        {dir_.path().string(), "SITE"}};
    for (const auto& [from, to] : names) {
      if (from.empty()) continue;
      for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
      }
    }
    return text;
  }

  // A site with keywords, nested navigation, a label-only entry, non-ASCII text and pages of
  // every case of extension.
  void BuildRichSite() {
    FakeFile& index = web_.AddFile("index.htm", "Welcome");
    index.keywords = "help; index";
    FakeFile& a = web_.AddFile("docs/a.htm", "Page A");
    a.keywords = "a;b,c";
    FakeFile& b = web_.AddFile("docs/B.HTM", "Caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC");
    b.keywords = "\xC3\xA9t\xC3\xA9";
    FakeFile& logo = web_.AddFile("img/logo.gif");
    logo.keywords = "logo,";
    web_.AddFile("style.css");
    FakeFile& semi = web_.AddFile("page with blanks.Html", "Blanks");
    semi.keywords = ";";
    web_.AddFile("asp/x.asp");
    web_.AddFile("x.shtml");
    FakeNode& home = web_.AddNode("Home", &index);
    web_.home = &home;
    FakeNode& about = web_.AddNode("About \"us\" & <them>", &a, &home);
    web_.AddNode("Caf\xC3\xA9", &b, &about);
    web_.AddNode("Label only", nullptr, &home);
    web_.AddNode("Blanks", &semi);
  }

  TempDir dir_;
  FakeMessageBoxes boxes_;
  PosixFileSystem fs_;
  FakeSettingsStore settings_;
  ScopedPlatform platform_{
      Platform{.message_boxes = &boxes_, .file_system = &fs_, .settings = &settings_}};
  FakeWeb web_;
  FakeHostApplication host_;
  frmMain form_;
};

TEST_F(WritersTest, RichSiteGivesTheExpectedThreeFilesAndDerivedPage) {
  BuildRichSite();
  WriteFileBytes(dir_ / "_derived/b c.gif", "");
  WriteFileBytes(dir_ / "_derived/a.gif", "");
  WriteFileBytes(dir_ / "_derived/sub/nested.gif", "");
  form_.suiParams["DEFAULTPAGE"].Tag = web_.url + "/index.htm";
  form_.suiParams["FAVORITES"].Checked = true;
  form_.mUseKeywords = true;

  ASSERT_TRUE(form_.BuildIndexFile());
  ASSERT_TRUE(form_.BuildContentFile());
  ASSERT_TRUE(form_.BuildProjectFile());
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(form_.mUseKeywords);

  for (const std::string* path : {&form_.mIndexFile, &form_.mContentsFile, &form_.mProjectFile}) {
    EXPECT_EQ(std::filesystem::path(*path).parent_path(), dir_.path());
  }
  EXPECT_EQ(form_.mDerivedPage,
            form_.mDerivedPage.substr(0, form_.mDerivedPage.size() - 8) + ".tmp.htm");
  EXPECT_TRUE(MatchesGolden(Stable(ReadFileBytes(form_.mIndexFile)), "golden/rich/index.hhk"));
  EXPECT_TRUE(
      MatchesGolden(Stable(ReadFileBytes(form_.mContentsFile)), "golden/rich/contents.hhc"));
  EXPECT_TRUE(MatchesGolden(Stable(ReadFileBytes(form_.mProjectFile)), "golden/rich/project.hhp"));
  EXPECT_TRUE(MatchesGolden(ReadFileBytes(form_.mDerivedPage), "golden/rich/derived.htm"));
}

TEST_F(WritersTest, SiteWithoutKeywordsSaysSoAndTheProjectNamesNoIndex) {
  FakeFile& index = web_.AddFile("index.htm", "Home");
  web_.AddNode("Home", &index);
  form_.mUseKeywords = true;
  ASSERT_TRUE(form_.BuildIndexFile());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "No keywords were found! No index was created!");
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kExclamation);
  EXPECT_FALSE(form_.mUseKeywords);
  EXPECT_TRUE(form_.mIndexFile.empty());

  ASSERT_TRUE(form_.BuildContentFile());
  ASSERT_TRUE(form_.BuildProjectFile());
  EXPECT_TRUE(MatchesGolden(Stable(ReadFileBytes(form_.mProjectFile)), "golden/plain/project.hhp"));
  EXPECT_EQ(ReadFileBytes(form_.mDerivedPage),
            "<HTML><HEAD><TITLE></TITLE></HEAD><BODY>\r\n</BODY></HTML>\r\n");
}

TEST_F(WritersTest, EmptySiteStillGetsAContentsFileAndAProject) {
  form_.mUseKeywords = false;
  ASSERT_TRUE(form_.BuildContentFile());
  EXPECT_EQ(ReadFileBytes(form_.mContentsFile),
            "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n"
            "<UL>\r\n</UL>\r\n</BODY></HTML>\r\n");
  ASSERT_TRUE(form_.BuildProjectFile());
  const std::string project = ReadFileBytes(form_.mProjectFile);
  EXPECT_NE(project.find("\r\n[FILES]\r\n" + form_.mDerivedPage + "\r\n"), std::string::npos);
}

TEST_F(WritersTest, ThePageThatIsTheCompiledFileItselfIsLeftOut) {
  web_.AddFile("a.htm");
  web_.AddFile("Help.htm");
  web_.AddFile("a.htm");  // the host's order and duplicates are kept
  form_.suiParams["OUTPUT"].Value = web_.url + "/Help.htm";
  ASSERT_TRUE(form_.BuildContentFile());
  ASSERT_TRUE(form_.BuildProjectFile());
  const std::string project = ReadFileBytes(form_.mProjectFile);
  EXPECT_NE(project.find("[FILES]\r\na.htm\r\na.htm\r\n" + form_.mDerivedPage), std::string::npos);
}

TEST_F(WritersTest, NavigationWithACycleEnds) {
  FakeFile& a = web_.AddFile("a.htm");
  FakeNode& first = web_.AddNode("A", &a);
  FakeNode& second = web_.AddNode("B", &a, &first);
  second.children.push_back(&first);  // B's child is A again
  const std::string list = form_.EnumNodes(&web_.root);
  EXPECT_EQ(list,
            "<UL>\r\n<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"A\">"
            "<PARAM NAME=\"Local\" VALUE=\"a.htm\">\r\n</OBJECT>\r\n<UL>\r\n"
            "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"B\">"
            "<PARAM NAME=\"Local\" VALUE=\"a.htm\">\r\n</OBJECT>\r\n<UL>\r\n"
            "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"A\">"
            "<PARAM NAME=\"Local\" VALUE=\"a.htm\">\r\n</OBJECT>\r\n</UL>\r\n</UL>\r\n</UL>\r\n");
}

TEST_F(WritersTest, DeepNavigationNeedsNoDeepStack) {
  FakeFile& a = web_.AddFile("a.htm");
  FakeNode* parent = nullptr;
  for (int depth = 0; depth < 200000; ++depth)
    parent = &web_.AddNode("n", &a, parent);
  const std::string list = form_.EnumNodes(&web_.root);
  size_t lists = 0;
  for (size_t at = list.find("<UL>"); at != std::string::npos; at = list.find("<UL>", at + 1)) {
    ++lists;
  }
  EXPECT_EQ(lists, 200000u);  // the root's list and one below every node but the last
}

TEST_F(WritersTest, WritersReportAndFailWhenTheSiteFolderCannotBeWritten) {
  web_.AddFile("index.htm").keywords = "k";
  SiteFolder = (dir_ / "missing").string();
  form_.mUseKeywords = true;
  EXPECT_FALSE(form_.BuildIndexFile());
  EXPECT_FALSE(form_.BuildContentFile());
  EXPECT_FALSE(form_.BuildProjectFile());
  ASSERT_FALSE(boxes_.shown.empty());
  EXPECT_NE(boxes_.shown.back().text.find("in Sitepack.frmMain.LinksToDerived at line "),
            std::string::npos);
  // Nothing was written anywhere else.
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()) || std::filesystem::exists(dir_ / "config"));
  EXPECT_FALSE(std::filesystem::exists(".htm"));
}

TEST(SitemapValueTest, EscapesMarkupAndMakesLineEndsBlanks) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"plain text", "plain text"},
      {"", ""},
      {"&", "&amp;"},
      {"<b>\"A & B\"</b>", "&lt;b&gt;&quot;A &amp; B&quot;&lt;/b&gt;"},
      {"line\r\nend\n", "line  end "},
      {"caf\xC3\xA9 & co", "caf\xC3\xA9 &amp; co"},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(SitemapValue(text), value);
  }
}

}  // namespace
}  // namespace corvina
