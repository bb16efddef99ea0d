#include "support/mCommonDialog.h"

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeMessageBoxes.h"

namespace corvina {
namespace {

using namespace std::string_literals;
using mCommonDialog::OpenFileNameArgs;

class mCommonDialogTest : public ::testing::Test {
 protected:
  static OpenFileNameArgs DecompileInput() {
    OpenFileNameArgs args;
    args.sFileName = "/home/a/old.chm";
    args.sFileTitle = "Input file";
    args.sFilter = "Microsoft HTML Help (*.CHM)|*.CHM|All(*.*)|*.*";
    args.sDlgTitle = "Select input file";
    args.sDefaultExt = "*.CHM";
    args.hWndOwner = 77;
    return args;
  }

  FakeDialogs dialogs_;
  FakeMessageBoxes boxes_;
  ScopedPlatform platform_{Platform{.message_boxes = &boxes_, .dialogs = &dialogs_}};
};

// A cancelled dialog empties the result arguments.
TEST_F(mCommonDialogTest, FillsTheRequestAsTheDialogExpectsItAndCancelEmptiesTheResult) {
  OpenFileNameArgs args = DecompileInput();
  args.lFlags = 0x20 | 0x40 | 0x8;  // hook and template bits are dropped
  args.bHideReadOnly = true;
  dialogs_.file_answers.push_back(FakeDialogs::Cancel());
  EXPECT_FALSE(mCommonDialog::VBGetOpenFileName(args));

  ASSERT_EQ(dialogs_.file_requests.size(), 1u);
  const FileDialogRequest& request = dialogs_.file_requests[0];
  EXPECT_FALSE(request.save);
  EXPECT_EQ(request.owner, 77);
  EXPECT_EQ(request.filter, "Microsoft HTML Help (*.CHM)\0*.CHM\0All(*.*)\0*.*\0\0"s);
  EXPECT_EQ(request.filter_index, 1);
  EXPECT_EQ(request.file, "/home/a/old.chm" + std::string(260 - 15, '\0'));
  EXPECT_EQ(request.file_title, "Input file" + std::string(250, '\0'));
  EXPECT_EQ(request.title, "Select input file");
  EXPECT_EQ(request.default_extension, "*.CHM");
  EXPECT_EQ(request.initial_folder, "");
  EXPECT_EQ(request.flags, 0x1000u | 0x4u | 0x8u);
  EXPECT_EQ(args.sFileName, "");
  EXPECT_EQ(args.sFileTitle, "");
  EXPECT_EQ(args.sFilter, "");
  EXPECT_EQ(args.lFlags, 0);
  EXPECT_EQ(args.lFilterIndex, -1);
  EXPECT_EQ(args.sDefaultExt, "*.CHM");
}

TEST_F(mCommonDialogTest, ChosenFileComesBackThroughTheArguments) {
  OpenFileNameArgs args = DecompileInput();
  args.sFilter = "Applications (*.EXE)|*.EXE";
  dialogs_.file_answers.push_back(FakeDialogs::Choose("/opt/hhw/hhc"));
  ASSERT_TRUE(mCommonDialog::VBGetOpenFileName(args));
  EXPECT_EQ(args.sFileName, "/opt/hhw/hhc");
  EXPECT_EQ(args.sFileTitle, "hhc");
  EXPECT_EQ(args.sFilter, "Applications (*.EXE)\0*.EXE"s);
  EXPECT_EQ(args.lFilterIndex, 1);
  EXPECT_EQ(args.lFlags, 0x1000);
  EXPECT_FALSE(args.bReadOnly);
  EXPECT_EQ(args.hWndOwner, 77);  // unchanged
  EXPECT_EQ(args.sDlgTitle, "Select input file");
}

TEST(FilterLookupTest, FindsEntriesByIndex) {
  const std::string filters = "A (*.a)\0*.a\0B\0*.b\0\0\0"s;
  const std::pair<int32_t, std::string> cases[] = {
      {1, "A (*.a)\0*.a"s},
      {2, "B\0*.b"s},
      {0, ""},
      {-3, ""},
  };
  for (const auto& [index, entry] : cases) {
    SCOPED_TRACE(index);
    EXPECT_EQ(mCommonDialog::FilterLookup(filters, index), entry);
  }
  EXPECT_EQ(mCommonDialog::FilterLookup("", 1), "");
  EXPECT_EQ(mCommonDialog::FilterLookup("no separator", 1), "");
  EXPECT_EQ(mCommonDialog::FilterLookup("Applications (*)\0*"s, 1), "Applications (*)\0*"s);
}

TEST_F(mCommonDialogTest, BrowseFolderAsksWithThePromptAndFlags) {
  dialogs_.folder_answers = {"/home/a/out", std::nullopt};
  EXPECT_EQ(mCommonDialog::BrowseFolder(12, "Select output directory"), "/home/a/out");
  EXPECT_EQ(mCommonDialog::BrowseFolder(-1, "Select output directory"), "");
  ASSERT_EQ(dialogs_.folder_requests.size(), 2u);
  EXPECT_EQ(dialogs_.folder_requests[0].owner, 12);
  EXPECT_EQ(dialogs_.folder_requests[0].title, "Select output directory");
  EXPECT_EQ(dialogs_.folder_requests[0].flags, 0x45u);
  EXPECT_EQ(dialogs_.folder_requests[1].owner, 0);
}

}  // namespace
}  // namespace corvina
