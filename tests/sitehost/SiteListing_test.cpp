#include "sitehost/SiteListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/OpenFaults.h"
#include "tests/fakes/TestSupport.h"

namespace corvina::sitehost {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFileBytes;

std::vector<std::string> Files(const fs::path& site) {
  Result<SiteListing> listing = ListSiteFiles(site);
  EXPECT_TRUE(listing.ok());
  return listing.ok() ? listing->files : std::vector<std::string>{};
}

TEST(SiteListingTest, LeavesOutHiddenAndTemporaryFiles) {
  TempDir dir;
  const fs::path site = dir / "My Site";
  for (const char* name :
       {"index.htm", ".hidden.htm", ".git/config", "sub/.secret", "sub/page.htm", "CorA1B2.tmp",
        "Cor1.tmp.htm", "sub/Cor3.tmp", "Corvina.htm", "Core.tmp.bak", "UPPER.HTM", "a b/x.htm",
        "a/x.htm", "ab.htm", "\xC3\xA9.htm", "Z.htm"}) {
    WriteFileBytes(site / name, "x");
  }
  fs::create_directories(site / "empty");
  // "a b" sorts before "a/" (blank before slash), upper case before lower case, UTF-8 last.
  EXPECT_EQ(Files(site),
            (std::vector<std::string>{"Core.tmp.bak", "Corvina.htm", "UPPER.HTM", "Z.htm",
                                      "a b/x.htm", "a/x.htm", "ab.htm", "index.htm", "sub/Cor3.tmp",
                                      "sub/page.htm", "\xC3\xA9.htm"}));
}

TEST(SiteListingTest, FollowsNoLinkOutsideTheSiteNorAnyFolderLink) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", "x");
  WriteFileBytes(site / "sub/page.htm", "x");
  WriteFileBytes(dir / "outside/secret.htm", "x");
  fs::create_symlink(site / "sub/page.htm", site / "inside-link.htm");
  fs::create_symlink("../index.htm", site / "sub/relative-link.htm");
  fs::create_symlink(dir / "outside/secret.htm", site / "outside-link.htm");
  fs::create_symlink(dir / "outside", site / "outside-folder");
  fs::create_symlink(site, site / "sub/loop");
  fs::create_symlink(site / "sub", site / "sub-again");
  fs::create_symlink(site / "missing.htm", site / "dangling.htm");
  fs::create_symlink("self.htm", site / "self.htm");
  EXPECT_EQ(Files(site), (std::vector<std::string>{"index.htm", "inside-link.htm", "sub/page.htm",
                                                   "sub/relative-link.htm"}));
}

TEST(SiteListingTest, LinksLeavingTheSiteAndUnstorableNamesAreReported) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", "x");
  WriteFileBytes(site / "a\\b.htm", "x");
  WriteFileBytes(site / "caf\xE9.htm", "x");
  WriteFileBytes(site / "sub\\dir/page.htm", "x");
  fs::create_symlink("/etc/passwd", site / "secret.htm");
  fs::create_symlink("/etc", site / "etc");
  fs::create_symlink(site / "index.htm", site / "home.htm");
  Result<SiteListing> listing = ListSiteFiles(site);
  ASSERT_TRUE(listing.ok());
  EXPECT_EQ(listing->files, (std::vector<std::string>{"home.htm", "index.htm"}));
  std::vector<std::string> problems;
  for (const Error& problem : listing->problems)
    problems.push_back(problem.description);
  std::sort(problems.begin(), problems.end());
  EXPECT_EQ(problems,
            (std::vector<std::string>{
                "left out a\\b.htm: its name holds a backslash, which a help file reads as a "
                "folder separator",
                "left out caf?.htm: its name is not UTF-8 text (a byte of another code page?)",
                "left out etc: it is a symbolic link to a place outside the site",
                "left out secret.htm: it is a symbolic link to a place outside the site",
                "left out sub\\dir: its name holds a backslash, which a help file reads as a "
                "folder separator",
            }));
}

TEST(SiteListingTest, UnreadableFolderIsAProblemNotAFailure) {
  TempDir dir;
  WriteFileBytes(dir / "site/index.htm", "x");
  WriteFileBytes(dir / "site/locked/page.htm", "x");
  const fs::path locked = dir / "site/locked";
  ScopedOpenFault fault([&](const fs::path& path) { return path == locked ? EACCES : 0; });
  Result<SiteListing> listing = ListSiteFiles(dir / "site");
  ASSERT_TRUE(listing.ok());
  EXPECT_EQ(listing->files, (std::vector<std::string>{"index.htm"}));
  ASSERT_EQ(listing->problems.size(), 1u);
  EXPECT_EQ(listing->problems[0].number, kErrPermissionDenied);
  EXPECT_EQ(listing->problems[0].description,
            "read folder " + (dir / "site/locked").string() + ": Permission denied");
}

TEST(SiteListingTest, NamesWithLineEndsAreLeftOutAndReported) {
  TempDir dir;
  WriteFileBytes(dir / "site/index.htm", "x");
  WriteFileBytes(dir / "site/evil.htm\r\nCompiled file=x.chm", "x");
  WriteFileBytes(dir / "site/tab\tfolder/page.htm", "x");
  Result<SiteListing> listing = ListSiteFiles(dir / "site");
  ASSERT_TRUE(listing.ok());
  EXPECT_EQ(listing->files, (std::vector<std::string>{"index.htm"}));
  ASSERT_EQ(listing->problems.size(), 2u);
  std::vector<std::string> problems;
  for (const Error& problem : listing->problems)
    problems.push_back(problem.description);
  std::sort(problems.begin(), problems.end());
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "left out evil.htm??Compiled file=x.chm: its name holds a control "
                          "character (a line end or tab)",
                          "left out tab?folder: its name holds a control character (a line end "
                          "or tab)"}));
}

}  // namespace
}  // namespace corvina::sitehost
