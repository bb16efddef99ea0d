#include "platform/ConsoleDialogs.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using namespace std::string_literals;

// A console with scripted input that keeps what was written to it.
class Console {
 public:
  explicit Console(std::string input) : input_(std::move(input)) {
    in_ = input_.empty() ? std::fopen("/dev/null", "r")
                         : ::fmemopen(input_.data(), input_.size(), "r");
    out_ = ::open_memstream(&written_, &written_size_);
  }
  ~Console() {
    std::fclose(in_);
    std::fclose(out_);
    std::free(written_);
  }
  ConsoleDialogs Dialogs(bool interactive = true) {
    return ConsoleDialogs({.in = in_, .out = out_, .interactive = interactive});
  }
  std::string written() {
    std::fflush(out_);
    return std::string(written_, written_size_);
  }

 private:
  std::string input_;
  std::FILE* in_;
  std::FILE* out_;
  char* written_ = nullptr;
  size_t written_size_ = 0;
};

FileDialogRequest OpenRequest(std::string title, uint32_t flags = kOfnFileMustExist) {
  FileDialogRequest request;
  request.title = std::move(title);
  request.file = "hhc" + std::string(257, '\0');
  request.file_title = std::string(260, '\0');
  request.flags = flags;
  request.filter_index = 1;
  return request;
}

class ConsoleDialogsTest : public ::testing::Test {
 protected:
  ConsoleDialogsTest() {
    testing::WriteFileBytes(dir_ / "hhw" / "hhc", "#!/bin/sh\n");
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  ~ConsoleDialogsTest() override { std::filesystem::current_path(old_cwd_); }

  testing::TempDir dir_;
  std::filesystem::path old_cwd_;
};

TEST_F(ConsoleDialogsTest, AsksAgainUntilAnExistingFileIsGiven) {
  const std::string root = dir_.path().string();
  Console console("hhw/missing\nhhw\n\"hhw/hhc\"\n");
  FileDialogResult result = console.Dialogs().ShowFileDialog(OpenRequest("Select hhc"));
  ASSERT_TRUE(result.chosen);
  EXPECT_EQ(result.file, root + "/hhw/hhc" + std::string(260 - root.size() - 8, '\0'));
  EXPECT_EQ(result.file_title, "hhc" + std::string(257, '\0'));
  EXPECT_EQ(result.flags, kOfnFileMustExist);
  EXPECT_EQ(result.filter_index, 1);
  const std::string prompt = "Corvina: Select hhc (empty line cancels): ";
  EXPECT_EQ(console.written(), prompt + "Corvina: " + root + "/hhw/missing: no such file\n" +
                                   prompt + "Corvina: " + root + "/hhw is a folder; give a file\n" +
                                   prompt);
}

TEST_F(ConsoleDialogsTest, WithoutATerminalEveryDialogCancelsWithANote) {
  Console console("hhw/hhc\n");
  ConsoleDialogs dialogs = console.Dialogs(/*interactive=*/false);
  EXPECT_FALSE(dialogs.ShowFileDialog(OpenRequest("Select input file")).chosen);
  EXPECT_EQ(dialogs.BrowseForFolder({.title = "Select output directory"}), "");
  EXPECT_EQ(console.written(),
            "Corvina: Select input file: no terminal to ask on; cancelled\n"
            "Corvina: Select output directory: no terminal to ask on; cancelled\n");
}

}  // namespace
}  // namespace corvina
