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

// Links that stay inside the site are followed (folder links never); names a help file cannot
// store and links leaving the site are left out and reported.
TEST(SiteListingTest, LinksAndUnstorableNames) {
  TempDir dir;
  const fs::path site = dir / "site";
  for (const char* name :
       {"index.htm", "sub/page.htm", "a\\b.htm", "caf\xE9.htm", "sub\\dir/page.htm",
        "evil.htm\r\nCompiled file=x.chm", "tab\tfolder/page.htm"}) {
    WriteFileBytes(site / name, "x");
  }
  WriteFileBytes(dir / "outside/secret.htm", "x");
  fs::create_symlink(site / "sub/page.htm", site / "inside-link.htm");
  fs::create_symlink("../index.htm", site / "sub/relative-link.htm");
  fs::create_symlink(dir / "outside/secret.htm", site / "outside-link.htm");
  fs::create_symlink(dir / "outside", site / "outside-folder");
  fs::create_symlink(site, site / "sub/loop");
  fs::create_symlink(site / "sub", site / "sub-again");
  fs::create_symlink(site / "missing.htm", site / "dangling.htm");
  fs::create_symlink("self.htm", site / "self.htm");
  fs::create_symlink("/etc/passwd", site / "secret.htm");
  fs::create_symlink("/etc", site / "etc");
  fs::create_symlink(site / "index.htm", site / "home.htm");
  Result<SiteListing> listing = ListSiteFiles(site);
  ASSERT_TRUE(listing.ok());
  EXPECT_EQ(listing->files, (std::vector<std::string>{"home.htm", "index.htm", "inside-link.htm",
                                                      "sub/page.htm", "sub/relative-link.htm"}));
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
                "left out evil.htm??Compiled file=x.chm: its name holds a control character (a "
                "line end or tab)",
                "left out outside-folder: it is a symbolic link to a place outside the site",
                "left out outside-link.htm: it is a symbolic link to a place outside the site",
                "left out secret.htm: it is a symbolic link to a place outside the site",
                "left out sub\\dir: its name holds a backslash, which a help file reads as a "
                "folder separator",
                "left out tab?folder: its name holds a control character (a line end or tab)",
            }));
}

}  // namespace
}  // namespace corvina::sitehost
