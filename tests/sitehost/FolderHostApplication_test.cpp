#include "sitehost/FolderHostApplication.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/OpenFaults.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::TestDataPath;
using testing::WriteFileBytes;

std::unique_ptr<FolderHostApplication> OpenOrDie(const fs::path& folder) {
  Result<std::unique_ptr<FolderHostApplication>> host = OpenSite(folder);
  EXPECT_TRUE(host.ok()) << (host.ok() ? "" : host.error().description);
  return host.ok() ? std::move(host).value() : nullptr;
}

std::string Page(std::string_view title) {
  return "<html><head><title>" + std::string(title) + "</title></head><body></body></html>";
}

TEST(FolderHostApplicationTest, OpenFailsClearlyOnBadPaths) {
  TempDir dir;
  WriteFileBytes(dir / "file.htm", "x");
  const std::pair<fs::path, std::string> cases[] = {
      {"", "No site folder was given"},
      {dir / "none", "The site folder " + (dir / "none").string() + " does not exist"},
      {dir / "file.htm", (dir / "file.htm").string() + " is not a folder"},
  };
  for (const auto& [path, message] : cases) {
    SCOPED_TRACE(path);
    Result<std::unique_ptr<FolderHostApplication>> host = OpenSite(path);
    ASSERT_FALSE(host.ok());
    EXPECT_EQ(host.error().number, kErrPathNotFound);
    EXPECT_EQ(host.error().description, message);
  }
}

TEST(FolderHostApplicationTest, EveryRoadGivesTheSameProjectReference) {
  auto host = OpenOrDie(TestDataPath("sites/basic"));
  ASSERT_TRUE(host);
  IWeb* web = host->ActiveWeb();
  for (IWebFile* file : web->AllFiles()) {
    SCOPED_TRACE(file->Url());
    const Result<std::string> direct = host->GetWebPageRelativeUrl(web, file->Url());
    const Result<std::string> relative = host->MakeRelativeUrl(web->Location(), file->Url());
    ASSERT_TRUE(direct.ok());
    ASSERT_TRUE(relative.ok());
    EXPECT_EQ(*host->GetWebPageRelativeUrl(web, *relative), *direct);
    EXPECT_EQ(web->Url() + "/" + *direct, file->Url());
  }
}

TEST(FolderHostApplicationTest, RefreshTakesANewSnapshot) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", Page("Home"));
  WriteFileBytes(site / "gone.htm", Page("Gone"));
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  FolderWeb* web = host->web();
  ASSERT_EQ(web->AllFiles().size(), 2u);

  // A page removed after the snapshot keeps its place, named by its file.
  fs::remove(site / "gone.htm");
  IWebFile* gone = web->FindFile("gone.htm");
  EXPECT_EQ(gone->Title(), "gone.htm");
  const Result<std::string> keywords = gone->Property("keywords");
  ASSERT_FALSE(keywords.ok());
  EXPECT_EQ(keywords.error().description,
            "read " + (site / "gone.htm").string() + ": No such file or directory");

  EXPECT_EQ(web->FindFile("index.htm")->Title(), "Home");
  WriteFileBytes(site / "new.htm", Page("New"));
  WriteFileBytes(site / "index.htm", Page("Home again"));
  EXPECT_EQ(web->FindFile("index.htm")->Title(), "Home");  // read once per snapshot
  ASSERT_TRUE(web->Refresh().ok());
  ASSERT_EQ(web->AllFiles().size(), 2u);
  EXPECT_EQ(web->AllFiles()[0]->Title(), "Home again");
  EXPECT_EQ(web->AllFiles()[1]->Title(), "New");

  // A folder that went away fails the refresh and leaves the last snapshot.
  fs::remove_all(site);
  const Status refreshed = web->Refresh();
  ASSERT_FALSE(refreshed.ok());
  EXPECT_EQ(refreshed.number(), kErrFileNotFound);
  EXPECT_EQ(web->AllFiles().size(), 2u);
}

TEST(FolderHostApplicationTest, OutlineNamingMissingPagesIsReported) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", Page("Home"));
  WriteFileBytes(site / "Guide/Page.htm", Page("Guide page"));
  const std::string outline =
      "Home | index.htm\n  Chapter\n    guide\\page.htm\n    Lost | lost.htm\n"
      "    missing.htm\n      Child | index.htm\n";
  WriteFileBytes(site / "navigation.txt", outline);
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  FolderWeb* web = host->web();
  const auto no_page = [](int line, const std::string& page) {
    return "navigation.txt line " + std::to_string(line) + ": there is no page \"" + page +
           "\" in the site; the entry has no page";
  };
  const std::vector<Error>& problems = web->Problems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].number, kErrFileNotFound);
  EXPECT_EQ(problems[0].description, no_page(4, "lost.htm"));
  EXPECT_EQ(problems[1].description, no_page(5, "missing.htm"));
  // The problems known since the site opened are not told again by a refresh; new ones are.
  EXPECT_TRUE(web->Refresh().ok());
  WriteFileBytes(site / "navigation.txt", "Home | index.htm\n  Gone | gone.htm\n");
  const Status refreshed = web->Refresh();
  ASSERT_FALSE(refreshed.ok());
  EXPECT_EQ(refreshed.description(), no_page(2, "gone.htm"));
  WriteFileBytes(site / "navigation.txt", outline);
  EXPECT_FALSE(web->Refresh().ok());  // the first outline again: its problems are new

  std::vector<std::string> nodes;
  for (INavigationNode* node : web->NavigationNodes()) {
    const std::string url = node->Url();
    nodes.push_back(node->Label() + "=" + (url.empty() ? "" : url.substr(web->Url().size())));
  }
  EXPECT_EQ(nodes,
            (std::vector<std::string>{"Home=/index.htm", "Chapter=", "Guide page=/Guide/Page.htm",
                                      "Lost=", "missing.htm=", "Child=/index.htm"}));
  // The page's own node is its first one.
  EXPECT_EQ(web->FindFile("index.htm")->NavigationNode()->Label(), "Home");
  EXPECT_EQ(web->HomeNavigationNode()->Label(), "Home");
}

TEST(FolderHostApplicationTest, DerivedNavigationMatchesLinksIgnoringCase) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm",
                 "<title>Home</title><a href='Guide.HTM'>g</a><a href='logo.gif'>l</a>"
                 "<a href='file://" +
                     site.string() + "/other.htm'>o</a><a href=index.htm>h</a>");
  WriteFileBytes(site / "guide.htm", Page("Guide"));
  WriteFileBytes(site / "other.htm", Page("Other"));
  WriteFileBytes(site / "logo.gif", "GIF89a");
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  std::vector<std::string> labels;
  for (INavigationNode* node : host->ActiveWeb()->NavigationNodes()) {
    labels.push_back(node->Label());
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Home", "Guide", "Other"}));
}

TEST(FolderHostApplicationTest, UnreadablePartsAreReportedAndTheRestIsListed) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", Page("Home"));
  WriteFileBytes(site / "locked.htm", Page("Locked"));
  WriteFileBytes(site / "private/page.htm", Page("Private"));
  ScopedOpenFault fault([&](const fs::path& path) {
    return path == site / "locked.htm" || path == site / "private" ? EACCES : 0;
  });
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  FolderWeb* web = host->web();
  const std::string folder_problem =
      "read folder " + (site / "private").string() + ": Permission denied";
  ASSERT_EQ(web->Problems().size(), 1u);
  EXPECT_EQ(web->Problems()[0].number, kErrPermissionDenied);
  EXPECT_EQ(web->Problems()[0].description, folder_problem);
  // The open told the problem; a refresh that finds the same one keeps it but tells it no more.
  EXPECT_TRUE(web->Refresh().ok());
  ASSERT_EQ(web->Problems().size(), 1u);
  EXPECT_EQ(web->Problems()[0].description, folder_problem);
  ASSERT_EQ(web->AllFiles().size(), 2u);

  IWebFile* locked = web->FindFile("locked.htm");
  EXPECT_EQ(locked->Title(), "locked.htm");
  const Result<std::string> keywords = locked->Property("keywords");
  ASSERT_FALSE(keywords.ok());
  EXPECT_EQ(keywords.error().number, kErrPermissionDenied);
  EXPECT_EQ(keywords.error().description,
            "read " + (site / "locked.htm").string() + ": Permission denied");
}

}  // namespace
}  // namespace corvina
