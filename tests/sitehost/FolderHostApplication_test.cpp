#include "sitehost/FolderHostApplication.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sitehost/MemoryPageWindow.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
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

TEST(FolderHostApplicationTest, SiteAddressIsTheNormalAbsoluteFolder) {
  TempDir dir;
  WriteFileBytes(dir / "My Site/index.htm", Page("Home"));
  auto host = OpenOrDie(dir.path().string() + "/./My Site/");
  ASSERT_TRUE(host);
  EXPECT_EQ(host->ActiveWeb()->Url(), "file://" + (dir / "My Site").string());
  EXPECT_EQ(host->ActiveWeb()->RootFolder()->Url(), (dir / "My Site").string());
  EXPECT_EQ(host->CommandBars(), nullptr);
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

TEST(FolderHostApplicationTest, ProjectReferences) {
  TempDir dir;
  WriteFileBytes(dir / "My Site/index.htm", Page("Home"));
  auto host = OpenOrDie(dir / "My Site");
  ASSERT_TRUE(host);
  const std::string site = "file://" + (dir / "My Site").string();
  const std::string folder = (dir / "My Site").string();
  const std::pair<std::string, std::string> cases[] = {
      {site + "/index.htm", "index.htm"},
      {site + "/guide/caf\u00e9 1.htm", "guide/caf\u00e9 1.htm"},
      {site + "/guide/../index.htm", "index.htm"},
      {folder + "/guide/page.htm", "guide/page.htm"},
      {"guide/page.htm", "guide/page.htm"},
      {"./guide//page.htm", "guide/page.htm"},
      {"", ""},
      // Outside the site: unchanged.
      {site + "/../other.htm", site + "/../other.htm"},
      {site + " 2/index.htm", site + " 2/index.htm"},
      {"/home/a/Help.chm", "/home/a/Help.chm"},
      {"http://example.com/a.htm", "http://example.com/a.htm"},
      {"../up.htm", "../up.htm"},
  };
  for (const auto& [url, reference] : cases) {
    SCOPED_TRACE(url);
    const Result<std::string> result = host->GetWebPageRelativeUrl(host->ActiveWeb(), url);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(*result, reference);
  }
  const Result<std::string> no_site = host->GetWebPageRelativeUrl(nullptr, site + "/index.htm");
  ASSERT_FALSE(no_site.ok());
  EXPECT_EQ(no_site.error().description, "No open site was given");
  EXPECT_EQ(*host->MakeRelativeUrl(site, "http://example.com/x.htm"), "http://example.com/x.htm");
  EXPECT_EQ(*host->MakeRelativeUrl(site + "/", site + "/a/b.htm"), "a/b.htm");
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
  WriteFileBytes(site / "CorB7.tmp", "temporary");
  WriteFileBytes(site / "CorB8.tmp.htm", "temporary");
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
  WriteFileBytes(site / "navigation.txt",
                 "Home | index.htm\n"
                 "  Chapter\n"
                 "    guide\\page.htm\n"
                 "    Lost | lost.htm\n"
                 "    missing.htm\n"
                 "      Child | index.htm\n");
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  FolderWeb* web = host->web();
  const std::vector<Error>& problems = web->Problems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].number, kErrFileNotFound);
  EXPECT_EQ(problems[0].description,
            "navigation.txt line 4: there is no page \"lost.htm\" in the site; the entry has no "
            "page");
  EXPECT_EQ(problems[1].description,
            "navigation.txt line 5: there is no page \"missing.htm\" in the site; the entry has "
            "no page");
  // The problems known since the site opened are not told again by a refresh; new ones are.
  EXPECT_TRUE(web->Refresh().ok());
  WriteFileBytes(site / "navigation.txt", "Home | index.htm\n  Gone | gone.htm\n");
  const Status refreshed = web->Refresh();
  ASSERT_FALSE(refreshed.ok());
  EXPECT_EQ(refreshed.description(),
            "navigation.txt line 2: there is no page \"gone.htm\" in the site; the entry has no "
            "page");
  WriteFileBytes(site / "navigation.txt",
                 "Home | index.htm\n  Chapter\n    guide\\page.htm\n    Lost | lost.htm\n"
                 "    missing.htm\n      Child | index.htm\n");
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

TEST(FolderHostApplicationTest, HomePageChoiceAndItsAbsence) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"index.htm", "index.html", "default.htm"}, "index.htm"},
      {{"index.html", "default.htm"}, "index.html"},
      {{"default.html", "default.htm"}, "default.htm"},
      {{"Index.HTM", "other.htm"}, "Index.HTM"},
      {{"sub/index.htm", "other.htm"}, nullptr},
  };
  for (const auto& [names, home] : cases) {
    SCOPED_TRACE(names.front());
    TempDir dir;
    for (const char* name : names)
      WriteFileBytes(dir / "site" / name, Page(name));
    auto host = OpenOrDie(dir / "site");
    ASSERT_TRUE(host);
    IWeb* web = host->ActiveWeb();
    if (home == nullptr) {
      EXPECT_EQ(web->HomeNavigationNode(), nullptr);
      EXPECT_TRUE(web->RootNavigationNode()->Children().empty());
      EXPECT_TRUE(web->NavigationNodes().empty());
    } else {
      ASSERT_NE(web->HomeNavigationNode(), nullptr);
      EXPECT_EQ(web->HomeNavigationNode()->Label(), home);
      EXPECT_EQ(web->RootNavigationNode()->Children().size(), 1u);
    }
  }
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

TEST(FolderHostApplicationTest, PageWindowsSaveTheirText) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", Page("Home"));
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  FolderWeb* web = host->web();
  EXPECT_TRUE(web->ActiveWebWindow()->PageWindows().empty());

  auto* page = static_cast<MemoryPageWindow*>(web->window().AddPageWindow(
      std::make_unique<MemoryPageWindow>(site / "index.htm", Page("Home"))));
  auto* refusing = static_cast<MemoryPageWindow*>(
      web->window().AddPageWindow(std::make_unique<MemoryPageWindow>()));
  refusing->fail_save_with = kErrPermissionDenied;
  EXPECT_EQ(web->ActiveWebWindow()->PageWindows(), (std::vector<IPageWindow*>{page, refusing}));
  EXPECT_FALSE(page->IsModified());

  page->Edit(Page("Edited"));
  EXPECT_TRUE(page->IsModified());
  ASSERT_TRUE(page->Save(true).ok());
  EXPECT_FALSE(page->IsModified());
  EXPECT_EQ(page->saves, std::vector<bool>{true});
  EXPECT_EQ(ReadFileBytes(site / "index.htm"), Page("Edited"));
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(web->AllFiles().size(), 1u);
  EXPECT_EQ(web->AllFiles()[0]->Title(), "Edited");

  refusing->Edit("x");
  const Status refused = refusing->Save(false);
  EXPECT_EQ(refused.number(), kErrPermissionDenied);
  EXPECT_TRUE(refusing->IsModified());

  // Windows outlive refreshes and close one by one.
  EXPECT_EQ(web->ActiveWebWindow()->PageWindows().size(), 2u);
  EXPECT_TRUE(web->window().ClosePageWindow(refusing));
  EXPECT_FALSE(web->window().ClosePageWindow(refusing));
  EXPECT_EQ(web->ActiveWebWindow()->PageWindows(), std::vector<IPageWindow*>{page});
}

TEST(FolderHostApplicationTest, FailedSaveKeepsThePage) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", Page("Home"));
  // The page's folder is gone: the save fails and nothing is left half-written.
  MemoryPageWindow window(site / "missing/page.htm", Page("Lost"));
  window.Edit(Page("New"));
  const Status saved = window.Save(true);
  ASSERT_FALSE(saved.ok());
  EXPECT_TRUE(window.IsModified());
  EXPECT_EQ(ReadFileBytes(site / "index.htm"), Page("Home"));
  EXPECT_FALSE(fs::exists(site / "missing"));
}

TEST(FolderHostApplicationTest, UnreadablePartsAreReportedAndTheRestIsListed) {
  TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", Page("Home"));
  WriteFileBytes(site / "locked.htm", Page("Locked"));
  WriteFileBytes(site / "private/page.htm", Page("Private"));
  fs::permissions(site / "locked.htm", fs::perms::none);
  fs::permissions(site / "private", fs::perms::none);
  std::error_code ec;
  if (fs::directory_iterator(site / "private", ec) != fs::directory_iterator()) {
    GTEST_SKIP() << "running with the power to read any file";
  }
  auto host = OpenOrDie(site);
  ASSERT_TRUE(host);
  FolderWeb* web = host->web();
  const std::string folder_problem =
      "read folder " + (site / "private").string() + ": Permission denied";
  ASSERT_EQ(web->Problems().size(), 1u);
  EXPECT_EQ(web->Problems()[0].description, folder_problem);
  const Status refreshed = web->Refresh();
  EXPECT_EQ(refreshed.number(), kErrPermissionDenied);
  EXPECT_EQ(refreshed.description(), folder_problem);
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
