#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/ConsoleDialogs.h"
#include "platform/ConsoleMessageBoxes.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using testing::StreamContents;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, FileCloser>;

// A temporary stream that holds the text, read from its start.
Stream TempStream(std::string_view text = "") {
  Stream file(std::tmpfile());
  std::fwrite(text.data(), 1, text.size(), file.get());
  std::rewind(file.get());
  return file;
}

FileDialogRequest OpenRequest(std::string title) {
  FileDialogRequest request;
  request.title = std::move(title);
  request.file = "hhc" + std::string(257, '\0');
  request.file_title = std::string(260, '\0');
  request.flags = kOfnFileMustExist;
  request.filter_index = 1;
  return request;
}

class ConsoleDialogsTest : public ::testing::Test {
 protected:
  ConsoleDialogsTest() {
    testing::WriteFileBytes(dir_ / "hhw" / "hhc", "#!/bin/sh\n");
    std::filesystem::current_path(dir_.path());
  }
  ~ConsoleDialogsTest() override { std::filesystem::current_path(old_cwd_); }

  const std::filesystem::path old_cwd_ = std::filesystem::current_path();
  testing::TempDir dir_;
};

TEST_F(ConsoleDialogsTest, AsksAgainUntilAnExistingFileIsGiven) {
  const std::string root = dir_.path().string();
  Stream in = TempStream("hhw/missing\nhhw\n\"hhw/hhc\"\n");
  Stream out = TempStream();
  ConsoleDialogs dialogs({.in = in.get(), .out = out.get(), .interactive = true});
  FileDialogResult result = dialogs.ShowFileDialog(OpenRequest("Select hhc"));
  ASSERT_TRUE(result.chosen);
  EXPECT_EQ(result.file, root + "/hhw/hhc" + std::string(260 - root.size() - 8, '\0'));
  EXPECT_EQ(result.file_title, "hhc" + std::string(257, '\0'));
  EXPECT_EQ(result.flags, kOfnFileMustExist);
  EXPECT_EQ(result.filter_index, 1);
  const std::string prompt = "Corvina: Select hhc (empty line cancels): ";
  EXPECT_EQ(StreamContents(out.get()),
            prompt + "Corvina: " + root + "/hhw/missing: no such file\n" + prompt +
                "Corvina: " + root + "/hhw is a folder; give a file\n" + prompt);
}

TEST_F(ConsoleDialogsTest, WithoutATerminalEveryDialogCancelsWithANote) {
  Stream in = TempStream("hhw/hhc\n");
  Stream out = TempStream();
  ConsoleDialogs dialogs({.in = in.get(), .out = out.get(), .interactive = false});
  EXPECT_FALSE(dialogs.ShowFileDialog(OpenRequest("Select input file")).chosen);
  EXPECT_EQ(dialogs.BrowseForFolder({.title = "Select output directory"}), "");
  EXPECT_EQ(StreamContents(out.get()),
            "Corvina: Select input file: no terminal to ask on; cancelled\n"
            "Corvina: Select output directory: no terminal to ask on; cancelled\n");
}

MessageBoxRequest Report(std::string description, std::string_view trailer) {
  MessageBoxRequest request{description + std::string(trailer), "Corvina"};
  request.trailer_at = description.size();
  return request;
}

TEST(ConsoleMessageBoxesTest, AReportIsToldOnceAndItsTrailerOnlyWhenAsked) {
  const std::string damaged = "registry database /c/registry.db is damaged";
  for (const bool verbose : {false, true}) {
    SCOPED_TRACE(verbose ? "verbose" : "plain");
    Stream err = TempStream();
    ConsoleMessageBoxes boxes(ConsoleMessageBoxes::Policy::kNo, err.get());
    boxes.show_trailers = verbose;
    int cleared = 0;
    boxes.before_show = [&cleared] { ++cleared; };
    boxes.Show(Report(damaged, "\r\nin Sitepack.frmMain.BuildUI at line 30"));
    boxes.Show(Report(damaged, "\r\nin Sitepack.frmMain.BuildUI at line 44"));
    boxes.Show(Report("CRegistry component failure: " + damaged,
                      "\r\nin Sitepack.frmMain.GetWorkShopPath at line 9"));
    boxes.Show(Report("Path not found: /s/x.tmp", "\r\nin Sitepack.Globals.WriteFile at line 4"));
    boxes.Show(MessageBoxRequest{"Output file is locked.\r\nCan I try to close it?", "Corvina",
                                 Buttons::kYesNo});
    const std::string question = "Corvina: Output file is locked.\nCan I try to close it? [no]\n";
    if (verbose) {
      EXPECT_EQ(StreamContents(err.get()),
                "Corvina: " + damaged + "\nin Sitepack.frmMain.BuildUI at line 30\n" +
                    "Corvina: " + damaged + "\nin Sitepack.frmMain.BuildUI at line 44\n" +
                    "Corvina: CRegistry component failure: " + damaged +
                    "\nin Sitepack.frmMain.GetWorkShopPath at line 9\n"
                    "Corvina: Path not found: /s/x.tmp\nin Sitepack.Globals.WriteFile at line 4\n" +
                    question);
      EXPECT_EQ(cleared, 5);
    } else {
      EXPECT_EQ(StreamContents(err.get()),
                "Corvina: " + damaged + "\nCorvina: Path not found: /s/x.tmp\n" + question);
      EXPECT_EQ(cleared, 3);
    }
  }
}

}  // namespace
}  // namespace corvina
