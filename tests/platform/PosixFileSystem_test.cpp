#include "platform/PosixFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/UniqueFd.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  TempDir dir_;
  PosixFileSystem fs_;
};

TEST_F(PosixFileSystemTest, DeleteReadOnlyFileFailsWith70UnlessForced) {
  const auto file = dir_ / "out.chm";
  WriteFileBytes(file, "x");
  ::chmod(file.c_str(), 0444);
  Status status = fs_.DeleteFile(file.string(), false);
  EXPECT_EQ(status.number(), 70);
  EXPECT_EQ(status.description(), "Permission denied: " + file.string());
  EXPECT_TRUE(fs_.FileExists(file.string()));
  EXPECT_TRUE(fs_.DeleteFile(file.string(), true).ok());
  EXPECT_FALSE(fs_.FileExists(file.string()));
}

TEST_F(PosixFileSystemTest, FailuresNameThePathTheyAreAbout) {
  const std::string missing = (dir_ / "no" / "such" / "x.tmp").string();
  const std::pair<Status, std::string> cases[] = {
      {fs_.WriteTextFile(missing, "x"), "Path not found: " + missing},
      {fs_.CreateNewFile(missing), "Path not found: " + missing},
      {fs_.CreateFolder(missing), "Path not found: " + missing},
      {fs_.ListFiles(missing).status(), "Path not found: " + missing},
      {fs_.DeleteFile(missing, true), "File not found: " + missing},
  };
  for (const auto& [status, description] : cases) {
    SCOPED_TRACE(description);
    EXPECT_EQ(status.description(), description);
  }
}

TEST_F(PosixFileSystemTest, DeleteFileThatAViewerHoldsFailsWith70) {
  const auto file = dir_ / "out.chm";
  WriteFileBytes(file, "x");
  UniqueFd viewer(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(viewer.get(), LOCK_SH), 0);
  EXPECT_EQ(fs_.DeleteFile(file.string(), true).number(), 70);
  viewer.reset();
  EXPECT_TRUE(fs_.DeleteFile(file.string(), false).ok());
}

TEST_F(PosixFileSystemTest, DeleteMissingFileOrFolderFailsOtherwise) {
  EXPECT_EQ(fs_.DeleteFile((dir_ / "none").string(), false).number(), 53);
  EXPECT_EQ(fs_.DeleteFile("", false).number(), 53);
  EXPECT_EQ(fs_.DeleteFile(dir_.path().string(), true).number(), 53);
  EXPECT_TRUE(fs_.FolderExists(dir_.path().string()));
}

TEST_F(PosixFileSystemTest, CreateFolderNeedsItsParent) {
  EXPECT_TRUE(fs_.CreateFolder((dir_ / "a").string()).ok());
  EXPECT_TRUE(fs_.FolderExists((dir_ / "a").string()));
  EXPECT_FALSE(fs_.FileExists((dir_ / "a").string()));
  EXPECT_EQ(fs_.CreateFolder((dir_ / "x/y").string()).number(), 76);
  EXPECT_EQ(fs_.CreateFolder((dir_ / "a").string()).number(), 58);
}

TEST_F(PosixFileSystemTest, WriteTextFileReplacesContentAndNeverFollowsALink) {
  const auto file = dir_ / "f.txt";
  ASSERT_TRUE(fs_.WriteTextFile(file.string(), "long old content").ok());
  ASSERT_TRUE(fs_.WriteTextFile(file.string(), "new").ok());
  EXPECT_EQ(ReadFileBytes(file), "new");

  WriteFileBytes(dir_ / "victim.txt", "keep");
  std::filesystem::create_symlink(dir_ / "victim.txt", dir_ / "link.txt");
  EXPECT_FALSE(fs_.WriteTextFile((dir_ / "link.txt").string(), "x").ok());
  EXPECT_EQ(ReadFileBytes(dir_ / "victim.txt"), "keep");
  EXPECT_EQ(fs_.WriteTextFile((dir_ / "missing/f.txt").string(), "x").number(), 76);
}

TEST_F(PosixFileSystemTest, ListFilesGivesSortedFilesOnly) {
  WriteFileBytes(dir_ / "b.gif", "");
  WriteFileBytes(dir_ / "a b.gif", "");
  WriteFileBytes(dir_ / ".hidden", "");
  WriteFileBytes(dir_ / "sub/c.gif", "");
  auto files = fs_.ListFiles(dir_.path().string());
  ASSERT_TRUE(files.ok());
  EXPECT_EQ(*files, (std::vector<std::string>{"a b.gif", "b.gif"}));
  EXPECT_EQ(fs_.ListFiles((dir_ / "none").string()).error().number, 76);
}

}  // namespace
}  // namespace corvina
