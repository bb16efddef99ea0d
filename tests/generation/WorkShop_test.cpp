#include <gtest/gtest.h>

#include <filesystem>

#include "mainwindow/frmMain.h"
#include "platform/Platform.h"
#include "platform/PosixFileSystem.h"
#include "shared/Globals.h"
#include "support/CRegistry.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {

namespace {

using namespace std::string_literals;

constexpr std::string_view kKey = "Software\\Microsoft\\HTML Help Workshop";
const std::string kMustBeInstalled = "Microsoft HTML Help WorkShop must be installed";
const std::string kSaveQuestion =
    "Save Location of Microsoft HTML Help Workshop hhc file for future use?";

class WorkShopTest : public ::testing::Test {
 protected:
  WorkShopTest() {
    for (const char* folder : {"hhw", "other"}) {
      testing::WriteFileBytes(dir_ / folder / "hhc", "#!/bin/sh\n");
      std::filesystem::permissions(dir_ / folder / "hhc", std::filesystem::perms::owner_exec,
                                   std::filesystem::perm_options::add);
    }
    reg_.Init(kHkeyCurrentUser);
  }

  std::string Folder(std::string_view name) const { return (dir_ / name).string(); }
  void Record(const RegValue& value) {
    ASSERT_TRUE(*reg_.SetValue(kKey, "InstallDir", value, value.IsInteger() ? 4 : 1));
  }
  RegValue Recorded() { return *reg_.GetValue(kKey, "InstallDir", RegValue("(none)")); }

  testing::TempDir dir_;
  FakeMessageBoxes boxes_;
  FakeRegistryStore registry_;
  FakeDialogs dialogs_;
  PosixFileSystem files_;
  ScopedPlatform platform_{Platform{.message_boxes = &boxes_,
                                    .file_system = &files_,
                                    .registry = &registry_,
                                    .dialogs = &dialogs_}};
  CRegistry reg_;
  frmMain form_;
};

TEST_F(WorkShopTest, MissingKeyOnlyTellsThatTheWorkshopMustBeInstalled) {
  EXPECT_FALSE(form_.GetWorkShopPath());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, kMustBeInstalled);
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(boxes_.shown[0].buttons, Buttons::kOk);
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kNone);
  EXPECT_TRUE(dialogs_.file_requests.empty());
}

TEST_F(WorkShopTest, DialogAsksForTheCompilerWhenTheFolderDoesNotHoldIt) {
  const RegValue recorded[] = {RegValue(""), RegValue(Folder("nowhere")), RegValue(7)};
  for (const RegValue& value : recorded) {
    SCOPED_TRACE(value.AsText());
    Record(value);
    dialogs_.file_answers.push_back(FakeDialogs::Cancel());
    EXPECT_FALSE(form_.GetWorkShopPath());
    EXPECT_TRUE(boxes_.shown.empty());  // a cancel says nothing
  }
  ASSERT_EQ(dialogs_.file_requests.size(), 3u);
  const FileDialogRequest& request = dialogs_.file_requests[0];
  EXPECT_FALSE(request.save);
  EXPECT_EQ(request.file, "hhc" + std::string(257, '\0'));
  EXPECT_EQ(request.filter, "Applications (*)\0*\0\0"s);
  EXPECT_EQ(request.owner, form_.hWnd());
}

TEST_F(WorkShopTest, CompilerThatMayNotRunIsNotFound) {
  // Even root may run only a file that has an execute bit.
  std::filesystem::permissions(dir_ / "hhw" / "hhc", std::filesystem::perms::all,
                               std::filesystem::perm_options::remove);
  std::filesystem::permissions(dir_ / "hhw" / "hhc", std::filesystem::perms::owner_read,
                               std::filesystem::perm_options::add);
  Record(RegValue(Folder("hhw")));
  dialogs_.file_answers.push_back(FakeDialogs::Cancel());
  EXPECT_FALSE(form_.GetWorkShopPath());
  EXPECT_EQ(dialogs_.file_requests.size(), 1u);

  std::filesystem::permissions(dir_ / "hhw" / "hhc", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  EXPECT_TRUE(form_.GetWorkShopPath());  // no dialog scripted: none may open
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(WorkShopTest, AnotherFileNameIsRefused) {
  Record(RegValue(""));
  for (const char* chosen : {"/x/HHC", "/x/hhc.exe", "/x/hhc/", "/x/xhhc"}) {
    SCOPED_TRACE(chosen);
    boxes_.shown.clear();
    dialogs_.file_answers.push_back(FakeDialogs::Choose(chosen));
    EXPECT_FALSE(form_.GetWorkShopPath());
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Wrong file name!"});
    EXPECT_EQ(Recorded(), RegValue(""));
  }
}

TEST_F(WorkShopTest, LocatedCompilerIsRecordedOnYesAndFoundNextTime) {
  Record(RegValue(Folder("nowhere")));
  dialogs_.file_answers.push_back(FakeDialogs::Choose(Folder("other") + "/hhc"));
  boxes_.answers.push_back(Answer::kYes);
  EXPECT_TRUE(form_.GetWorkShopPath());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, kSaveQuestion);
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(boxes_.shown[0].buttons, Buttons::kYesNo);
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kExclamation);
  EXPECT_EQ(Recorded(), RegValue(Folder("other")));
  EXPECT_EQ(*reg_.ValueType(kKey, "InstallDir"), 1);

  EXPECT_TRUE(form_.GetWorkShopPath());  // no dialog scripted: none may open
  EXPECT_EQ(dialogs_.file_requests.size(), 1u);
}

TEST_F(WorkShopTest, BrokenRegistryIsReportedWithoutTheInstallMessage) {
  Record(RegValue(Folder("hhw")));
  registry_.fail_with = Error{kRegErrorBadDb, "registry database /c/registry.db is damaged"};
  EXPECT_FALSE(form_.GetWorkShopPath());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text.find("CRegistry component failure: registry database "
                                      "/c/registry.db is damaged\r\nin Sitepack.frmMain."
                                      "GetWorkShopPath at line "),
            0u);
  EXPECT_TRUE(dialogs_.file_requests.empty());
}

}  // namespace
}  // namespace corvina
