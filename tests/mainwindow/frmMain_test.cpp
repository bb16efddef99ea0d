#include "mainwindow/frmMain.h"

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "shared/Globals.h"
#include "testing/FakeHost.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeSettingsStore.h"
#include "tests/fakes/FakeWindows.h"

namespace corvina {
namespace {

constexpr const char* kSection = "file:///site";

// The main window against an in-memory host, settings store and window service.
class frmMainTest : public ::testing::Test {
 protected:
  frmMainTest() {
    host_.web = &web_;
    Globals::HostApplication = &host_;
  }
  ~frmMainTest() override { Globals::HostApplication = nullptr; }

  std::string Saved(const std::string& key) { return settings_.values[{"Corvina", kSection, key}]; }
  void Save(const std::string& key, const std::string& value) {
    settings_.values[{"Corvina", kSection, key}] = value;
  }
  // A site whose home page has two children, one with no page.
  void BuildSite() {
    FakeFile& index = web_.AddFile("index.htm", "Index Title");
    FakeFile& a = web_.AddFile("a.htm", "A");
    FakeNode& home = web_.AddNode("Home: the/start", &index);
    web_.home = &home;
    web_.AddNode("Heading only", nullptr, &home);
    web_.AddNode("Page A", &a, &home);
  }

  FakeMessageBoxes boxes_;
  FakeSettingsStore settings_;
  FakeRegistryStore registry_;
  FakeWindows windows_;
  ScopedPlatform platform_{Platform{.message_boxes = &boxes_,
                                    .registry = &registry_,
                                    .settings = &settings_,
                                    .windows = &windows_}};
  FakeWeb web_;
  FakeHostApplication host_;
  frmMain form_;
};

TEST_F(frmMainTest, WithoutAnOpenSiteOnlyTheMessageIsShown) {
  host_.web = nullptr;
  EXPECT_FALSE(form_.BuildUI());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Open site first");
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kInformation);
  form_.Unload();
  EXPECT_TRUE(settings_.writes.empty());
}

TEST_F(frmMainTest, FirstUseTakesTitlePageAndOutputFromTheSite) {
  BuildSite();
  ASSERT_TRUE(form_.BuildUI());
  EXPECT_TRUE(boxes_.shown.empty());
  ItemPanel& p = form_.suiParams;
  EXPECT_EQ(Globals::SiteFolder, "/site");
  EXPECT_EQ(p["TITLE"].Value, "Home: the/start");
  EXPECT_EQ(p["DEFAULTPAGE"].Value, "Home: the/start");
  EXPECT_EQ(p["DEFAULTPAGE"].Tag, "file:///site/index.htm");
  ASSERT_EQ(p["DEFAULTPAGE"].Entries.size(), 2u);  // the heading has no page
  EXPECT_EQ(p["DEFAULTPAGE"].Entries[1].Key, "file:///site/a.htm");
  EXPECT_EQ(p["DEFAULTPAGE"].Entries[1].Caption, "Page A");
  EXPECT_EQ(p["OUTPUT"].Value, "/site/Home_ the_start.CHM");
  EXPECT_EQ(p["OUTPUT"].ToolTipText, p["OUTPUT"].Value);
}

TEST_F(frmMainTest, WithoutHomeNodeTheTitleIsTheSiteFolderName) {
  web_.url = "file:///home/a/web/";
  EXPECT_TRUE(form_.BuildUI());
  EXPECT_EQ(form_.suiParams["TITLE"].Value, "");
  EXPECT_EQ(form_.suiParams["DEFAULTPAGE"].Tag, "");
  EXPECT_TRUE(form_.suiParams["DEFAULTPAGE"].Entries.empty());
}

TEST_F(frmMainTest, SavedValuesComeBackAndABadBooleanIsReported) {
  BuildSite();
  Save("TITLE", "Saved");
  Save("OUTPUT", "/elsewhere/x.chm");
  Save("DEFAULTPAGE", "file:///site/a.htm");
  Save("USEKEYWORDS", "False");
  Save("CLOSELOG", "maybe");
  ASSERT_TRUE(form_.BuildUI());
  ItemPanel& p = form_.suiParams;
  EXPECT_EQ(p["TITLE"].Value, "Saved");
  EXPECT_EQ(p["OUTPUT"].Value, "/elsewhere/x.chm");
  EXPECT_EQ(p["DEFAULTPAGE"].Value, "Page A");
  EXPECT_EQ(p["DEFAULTPAGE"].Tag, "file:///site/a.htm");
  EXPECT_FALSE(p["USEKEYWORDS"].Checked);
  EXPECT_FALSE(p["CLOSELOG"].Checked);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(
      boxes_.shown[0].text.starts_with("Type mismatch\r\nin Sitepack.frmMain.BuildUI at line "))
      << boxes_.shown[0].text;
}

TEST_F(frmMainTest, SavedPageNoLongerInTheNavigationChoosesNothing) {
  BuildSite();
  Save("DEFAULTPAGE", "file:///site/gone.htm");
  ASSERT_TRUE(form_.BuildUI());
  EXPECT_EQ(form_.suiParams["DEFAULTPAGE"].Value, "");
  EXPECT_EQ(form_.suiParams["DEFAULTPAGE"].Tag, "");
  EXPECT_EQ(form_.suiParams["DEFAULTPAGE"].Entries.size(), 2u);
}

TEST_F(frmMainTest, LayoutPushesTheButtonsRightAndSizesTheFields) {
  form_.suiButtons.Width = 6015;
  form_.suiParams.Width = 6015;
  form_.Resized();
  EXPECT_EQ(form_.suiButtons["SPACE"].Width, 3180);  // 6015 - (1500+1170+750+825) + 1500 - 90
  EXPECT_EQ(form_.suiParams["TITLE"].Width, 5235);
  EXPECT_EQ(form_.suiParams["DEFAULTPAGE"].Width, 5865);
  EXPECT_EQ(form_.suiParams["OUTPUT"].Width, 5700);
  form_.suiButtons.Width = 1000;
  form_.suiParams.Width = 500;
  form_.Resized();
  EXPECT_EQ(form_.suiButtons["SPACE"].Width, 15);
  EXPECT_EQ(form_.suiParams["TITLE"].Width, 0);
  EXPECT_EQ(form_.suiParams["DEFAULTPAGE"].Width, 350);
}

TEST_F(frmMainTest, UnloadSavesTheElevenKeysInOrderAndActivateRestoresThem) {
  BuildSite();
  ASSERT_TRUE(form_.BuildUI());
  form_.Left = 120;
  form_.Top = 240.5f;
  form_.suiParams["CLOSELOG"].Checked = true;
  form_.Unload();
  EXPECT_EQ(
      settings_.KeysWritten(kSection),
      (std::vector<std::string>{"LEFT", "HEIGHT", "TOP", "WIDTH", "TITLE", "USEKEYWORDS",
                                "FAVORITES", "DEFAULTPAGE", "VIEWRESULT", "OUTPUT", "CLOSELOG"}));
  EXPECT_EQ(Saved("TOP"), "240.5");
  EXPECT_EQ(Saved("CLOSELOG"), "True");
  EXPECT_EQ(Saved("DEFAULTPAGE"), "file:///site/index.htm");

  frmMain next;
  ASSERT_TRUE(next.BuildUI());
  Save("WIDTH", "wide");
  settings_.reads.clear();
  next.Activated();
  EXPECT_EQ(settings_.reads, (std::vector<std::string>{"LEFT", "HEIGHT", "TOP", "WIDTH"}));
  EXPECT_EQ(next.Left, 120);
  EXPECT_EQ(next.Top, 240.5f);
  EXPECT_EQ(next.Width, 6105);  // not a number: reported, left as it was
  EXPECT_TRUE(next.suiParams["CLOSELOG"].Checked);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.find("in Sitepack.frmMain.Form_Activate at line"),
            std::string::npos);
}

TEST_F(frmMainTest, ABrokenSettingsStoreGivesDefaultsAndOneReportOnUnload) {
  BuildSite();
  settings_.fail_with = Error{1015, "the registry database /x/registry.db is damaged"};
  ASSERT_TRUE(form_.BuildUI());
  EXPECT_EQ(form_.suiParams["TITLE"].Value, "Home: the/start");
  EXPECT_TRUE(form_.suiParams["USEKEYWORDS"].Checked);
  boxes_.shown.clear();
  form_.Unload();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(
      boxes_.shown[0].text.starts_with("the registry database /x/registry.db is damaged\r\nin "
                                       "Sitepack.frmMain.Form_Unload at line "));
}

TEST_F(frmMainTest, UnsavedPagesAreSavedOnYesOnly) {
  FakePageWindow clean, first, second;
  first.modified = second.modified = true;
  web_.window.pages = {&clean, &first, &second};
  ASSERT_TRUE(form_.BuildUI());
  boxes_.answers = {Answer::kNo};
  form_.CheckForUnsavedFiles();
  EXPECT_TRUE(first.saves.empty());
  boxes_.answers = {Answer::kYes};
  form_.CheckForUnsavedFiles();
  EXPECT_EQ(first.saves, std::vector<bool>{true});
  EXPECT_EQ(second.saves, std::vector<bool>{true});
  EXPECT_TRUE(clean.saves.empty());
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text, "There are unsaved documents. Would you like to save it?");
  EXPECT_EQ(boxes_.shown[0].caption, "Save documents");
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kQuestion);
  form_.CheckForUnsavedFiles();  // nothing modified any more: no question
  EXPECT_EQ(boxes_.shown.size(), 2u);
}

TEST_F(frmMainTest, LockedOutputClosesTheViewerOfThatTitleOrStops) {
  const WindowHandle viewer = windows_.AddWindow("HH Parent", "My Help");
  windows_.AddWindow("HH Parent", "Other");
  boxes_.answers = {Answer::kNo, Answer::kYes, Answer::kYes};
  EXPECT_TRUE(form_.CheckForOpenedCHM("My Help"));
  EXPECT_TRUE(windows_.sent.empty());
  EXPECT_FALSE(form_.CheckForOpenedCHM("My Help"));
  ASSERT_EQ(windows_.sent.size(), 1u);
  EXPECT_EQ(windows_.sent[0].window, viewer);
  EXPECT_EQ(windows_.sent[0].message, 16u);
  EXPECT_TRUE(form_.CheckForOpenedCHM("Renamed"));
  ASSERT_EQ(boxes_.shown.size(), 4u);
  EXPECT_EQ(boxes_.shown[0].text,
            "Output file is locked. Possibly this file opened by HTMLHelp Viewer.\r\n"
            "Can I try to close it?");
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kInformation);
  EXPECT_EQ(boxes_.shown[3].text,
            "The appropriate HTMLHelp Viewer was not found.\r\nPlease, close it manualy. "
            "Compilation stopped");
  EXPECT_EQ(boxes_.shown[3].icon, Icon::kCritical);
  EXPECT_EQ(boxes_.shown[3].caption, "Corvina");
}

// A viewer that does not answer the close request: the failure is reported and the run goes on
// (the output is replaced by a rename, which an open viewer does not block).
TEST_F(frmMainTest, AViewerThatDoesNotCloseIsReportedAndTheRunGoesOn) {
  windows_.AddWindow("HH Parent", "My Help");
  windows_.fail_send_with = kErrPermissionDenied;
  boxes_.answers = {Answer::kYes};
  EXPECT_FALSE(form_.CheckForOpenedCHM("My Help"));
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_TRUE(boxes_.shown[1].text.starts_with(
      "injected failure\r\nin Sitepack.frmMain.CheckForOpenedCHM at line "))
      << boxes_.shown[1].text;
}

}  // namespace
}  // namespace corvina
