#include "platform/FolderWatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

TEST(FolderWatcherTest, TellsEachChangeInAWatchedFolderOnce) {
  testing::TempDir dir;
  for (const char* name : {"site/page.htm", "site/gone.htm", "other/x.htm", "outside.htm"}) {
    testing::WriteFileBytes(dir / name, "x");
  }
  FolderWatcher watcher;
  const int site = watcher.Watch(dir / "site");
  const int other = watcher.Watch(dir / "other");
  if (site < 0) GTEST_SKIP() << "this file system cannot be watched: " << dir.path();
  ASSERT_GE(other, 0);
  EXPECT_EQ(watcher.Watch(dir / "site"), site);
  EXPECT_FALSE(watcher.Watch(dir / "site/page.htm") >= 0);  // a file is no folder

  const fs::path page = dir / "site/page.htm";
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"file added", [&] { testing::WriteFileBytes(dir / "site/new.htm", "n"); }},
      {"file written", [&] { testing::WriteFileBytes(page, "other bytes"); }},
      {"time set",
       [&] { fs::last_write_time(page, fs::last_write_time(page) - std::chrono::hours(1)); }},
      {"mode changed", [&] { fs::permissions(page, fs::perms::owner_read); }},
      {"file removed", [&] { fs::remove(dir / "site/gone.htm"); }},
      {"file moved in", [&] { fs::rename(dir / "outside.htm", dir / "site/in.htm"); }},
      {"folder added", [&] { fs::create_directory(dir / "site/sub"); }},
  };
  for (const auto& [what, change] : changes) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(watcher.TakeChanges().ids.empty());
    change();
    const FolderWatcher::Changes seen = watcher.TakeChanges();
    EXPECT_FALSE(seen.all);
    EXPECT_TRUE(seen.ids.contains(site));
    EXPECT_FALSE(seen.ids.contains(other));
  }
  // Reading changes nothing.
  EXPECT_EQ(testing::ReadFileBytes(dir / "other/x.htm"), "x");
  EXPECT_TRUE(watcher.TakeChanges().ids.empty());
  // The watched folder itself moved away: a folder now at its path is another one.
  fs::rename(dir / "other", dir / "moved");
  EXPECT_TRUE(watcher.TakeChanges().ids.contains(other));
}

}  // namespace
}  // namespace corvina
