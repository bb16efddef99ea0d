#include "platform/PosixFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/OpenFaults.h"
#include "platform/UniqueFd.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  PosixFileSystem fs_;
};

TEST_F(PosixFileSystemTest, DeletingAReadOnlyOrHeldFileFailsWith70) {
  const std::string file = (dir_ / "out.chm").string();
  WriteFileBytes(file, "x");
  ::chmod(file.c_str(), 0444);
  const Status status = fs_.DeleteFile(file, false);
  EXPECT_EQ(status.number(), 70);
  EXPECT_EQ(status.description(), "Permission denied: " + file);
  EXPECT_TRUE(fs_.FileExists(file));
  // A viewer's lock refuses even a forced delete.
  UniqueFd viewer(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(viewer.get(), LOCK_SH), 0);
  EXPECT_EQ(fs_.DeleteFile(file, true).number(), 70);
  viewer.reset();
  EXPECT_TRUE(fs_.DeleteFile(file, true).ok());
  EXPECT_FALSE(fs_.FileExists(file));
}

TEST_F(PosixFileSystemTest, FailuresGiveTheirNumberAndNameThePath) {
  const std::string missing = (dir_ / "no" / "such" / "x.tmp").string();
  const std::string folder = dir_.path().string();
  ASSERT_TRUE(fs_.CreateFolder(folder + "/a").ok());
  const std::tuple<Status, int32_t, std::string> cases[] = {
      {fs_.WriteTextFile(missing, "x"), 76, "Path not found: " + missing},
      {fs_.CreateNewFile(missing), 76, "Path not found: " + missing},
      {fs_.CreateFolder(missing), 76, "Path not found: " + missing},
      {fs_.ListFiles(missing).status(), 76, "Path not found: " + missing},
      {fs_.DeleteFile(missing, true), 53, "File not found: " + missing},
      {fs_.DeleteFile("", false), 53, "File not found: "},
      {fs_.DeleteFile(folder, true), 53, "File not found: " + folder},
      {fs_.CreateFolder(folder + "/a"), 58, "File already exists: " + folder + "/a"},
  };
  for (const auto& [status, number, description] : cases) {
    SCOPED_TRACE(description);
    EXPECT_EQ(status.number(), number);
    EXPECT_EQ(status.description(), description);
  }
  EXPECT_TRUE(fs_.FolderExists(folder + "/a"));
  EXPECT_FALSE(fs_.FileExists(folder + "/a"));
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
}

TEST_F(PosixFileSystemTest, ListFilesGivesSortedFilesOnly) {
  for (const char* name : {"b.gif", "a b.gif", ".hidden", "sub/c.gif"})
    WriteFileBytes(dir_ / name, "");
  // A link counts as what it points at: a file is listed, a folder or a dangling link is not.
  std::filesystem::create_symlink("b.gif", dir_ / "to-b.gif");
  std::filesystem::create_symlink("sub", dir_ / "to-sub");
  std::filesystem::create_symlink("gone.gif", dir_ / "dangling.gif");
  EXPECT_EQ(*fs_.ListFiles(dir_.path().string()),
            (std::vector<std::string>{"a b.gif", "b.gif", "to-b.gif"}));
}

TEST_F(PosixFileSystemTest, ListFilesReportsAFolderThatCannotBeRead) {
  const std::string folder = dir_.path().string();
  ScopedOpenFault fault(
      [&](const std::filesystem::path& path) { return path == folder ? EACCES : 0; });
  const Status status = fs_.ListFiles(folder).status();
  EXPECT_EQ(status.number(), kErrPermissionDenied);
  EXPECT_NE(status.description().find(folder), std::string::npos) << status.description();
}

}  // namespace
}  // namespace corvina
