#include "platform/FileStamp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/OpenFaults.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

TEST(FileStampTest, ReadsTheHeadAndTheStampOfRegularFiles) {
  testing::TempDir dir;
  const std::string big(200000, 'x');
  testing::WriteFileBytes(dir / "big", big);
  testing::WriteFileBytes(dir / "empty", "");
  const std::tuple<const char*, size_t, std::string> cases[] = {
      {"big", 1u << 20, big}, {"big", 1000, big.substr(0, 1000)}, {"empty", 1000, ""}};
  for (const auto& [name, limit, expected] : cases) {
    SCOPED_TRACE(std::string(name) + " " + std::to_string(limit));
    Result<FileHead> head = ReadRegularFileHead(dir / name, limit);
    ASSERT_TRUE(head.ok()) << head.error().description;
    EXPECT_EQ(head->bytes, expected);
    EXPECT_EQ(head->stamp, ReadFileStamp(dir / name).value_or({}));
  }
  // A new time with the same size is another stamp.
  const FileStamp before = ReadFileStamp(dir / "big").value_or({});
  fs::last_write_time(dir / "big", fs::last_write_time(dir / "big") + std::chrono::seconds(3));
  const FileStamp after = ReadFileStamp(dir / "big").value_or({});
  EXPECT_EQ(before.size, after.size);
  EXPECT_NE(before, after);
}

TEST(FileStampTest, RefusesWhatIsNoRegularFileWithoutWaiting) {
  testing::TempDir dir;
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  for (const char* name : {"folder", "pipe", "missing"}) {
    SCOPED_TRACE(name);
    // Opening a pipe with no writer would block here if the read waited for one.
    Result<FileHead> head = ReadRegularFileHead(dir / name, 100);
    ASSERT_FALSE(head.ok());
    EXPECT_NE(head.error().description.find((dir / name).string()), std::string::npos);
    EXPECT_FALSE(ReadFileStamp(dir / name).ok());
  }
}

TEST(FileStampTest, ReadsInAnOpenFolderAsByPath) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "site/page.htm", "<title>x</title>");
  fs::create_directory(dir / "site/folder");
  ASSERT_EQ(::mkfifo((dir / "site/pipe").c_str(), 0600), 0);
  Result<FolderHandle> folder = FolderHandle::Open(dir / "site");
  ASSERT_TRUE(folder.ok());
  EXPECT_FALSE(FolderHandle::Open(dir / "site/page.htm").ok());
  for (const char* name : {"page.htm", "folder", "pipe", "missing"}) {
    SCOPED_TRACE(name);
    const fs::path path = dir / "site" / name;
    const Result<FileHead> by_path = ReadRegularFileHead(path, 100);
    const Result<FileHead> in_folder = ReadRegularFileHead(*folder, name, path.native(), 100);
    ASSERT_EQ(in_folder.ok(), by_path.ok());
    const Result<FileStamp> stamp = ReadFileStamp(*folder, name, path.native());
    ASSERT_EQ(stamp.ok(), by_path.ok());
    if (by_path.ok()) {
      EXPECT_EQ(in_folder->bytes, by_path->bytes);
      EXPECT_EQ(in_folder->stamp, by_path->stamp);
      EXPECT_EQ(*stamp, by_path->stamp);
    } else {
      EXPECT_EQ(in_folder.error().description, by_path.error().description);
    }
  }
  // A fault injected for the page's path holds for its read in the folder too.
  ScopedOpenFault fault(
      [&](const fs::path& path) { return path == dir / "site/page.htm" ? EACCES : 0; });
  const Result<FileHead> denied =
      ReadRegularFileHead(*folder, "page.htm", (dir / "site/page.htm").native(), 100);
  ASSERT_FALSE(denied.ok());
  EXPECT_EQ(denied.error().number, kErrPermissionDenied);
}

}  // namespace
}  // namespace corvina
