#include "sitehost/FolderWeb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sitehost/FolderHostApplication.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::TestDataPath;

std::unique_ptr<FolderWeb> OpenOrDie(const fs::path& folder) {
  Result<std::unique_ptr<FolderWeb>> web = FolderWeb::Open(folder);
  EXPECT_TRUE(web.ok()) << (web.ok() ? "" : web.error().description);
  return web.ok() ? std::move(web).value() : nullptr;
}

// The navigation tree, one node per line: indentation, label, " -> " and the project
// reference of its page (nothing for a node without a page).
std::string DumpTree(FolderWeb& web) {
  std::string out;
  struct Item {
    INavigationNode* node;
    int depth;
  };
  std::vector<Item> stack;
  const std::vector<INavigationNode*> top = web.RootNavigationNode()->Children();
  for (auto it = top.rbegin(); it != top.rend(); ++it)
    stack.push_back({*it, 0});
  while (!stack.empty()) {
    const Item item = stack.back();
    stack.pop_back();
    out += std::string(2 * item.depth, ' ') + item.node->Label();
    if (item.node->File() != nullptr) out += " -> " + web.ProjectReference(item.node->Url());
    out += "\n";
    const std::vector<INavigationNode*> children = item.node->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.push_back({*it, item.depth + 1});
    }
  }
  return out;
}
TEST(FolderWebTest, BasicSiteTitlesKeywordsAndExtensions) {
  auto web = OpenOrDie(TestDataPath("sites/basic"));
  ASSERT_TRUE(web);
  struct Case {
    const char* path;
    const char* extension;
    const char* title;
    const char* keywords;  // nullptr: the property fails
  };
  const Case cases[] = {
      {"index.htm", "htm", "Basic Site", "home;start"},
      {"guide/intro.htm", "htm", "Introduction", "intro, guide"},
      {"guide/setup.htm", "htm", "Setup", nullptr},
      {"My Page.htm", "htm", "My Page", nullptr},
      {"caf\u00e9.htm", "htm", "Caf\u00e9 cr\u00e8me", "caf\u00e9;cr\u00e8me"},
      {"NOTES.HTM", "HTM", "Notes", "notes"},
      {"style.css", "css", "style.css", nullptr},
      {"images/logo.gif", "gif", "logo.gif", nullptr},
      {"navigation.txt", "txt", "navigation.txt", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    IWebFile* file = web->FindFile(c.path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Extension(), c.extension);
    EXPECT_EQ(file->Title(), c.title);
    Result<std::string> keywords = file->Property("keywords");
    if (c.keywords == nullptr) {
      EXPECT_FALSE(keywords.ok());
    } else {
      ASSERT_TRUE(keywords.ok()) << keywords.error().description;
      EXPECT_EQ(*keywords, c.keywords);
    }
  }
  EXPECT_FALSE(web->FindFile("index.htm")->Property("description").ok());
}

TEST(FolderWebTest, RefreshReadsOnlyPagesThatChanged) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  testing::WriteFileBytes(site / "index.htm", "<title>Old home</title><a href=a.htm>a</a>");
  testing::WriteFileBytes(site / "a.htm", "<title>A</title>");
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  ASSERT_EQ(DumpTree(*web), "Old home -> index.htm\n  A -> a.htm\n");
  // The page's bytes change under a refresh: same size, other time, so it is read again.
  testing::WriteFileBytes(site / "index.htm", "<title>New home</title><a href=a.htm>a</a>");
  fs::last_write_time(site / "index.htm",
                      fs::last_write_time(site / "index.htm") + std::chrono::seconds(5));
  ASSERT_TRUE(web->Refresh().ok());
  // The links were given up once the navigation was built, so it is built again from pages
  // read afresh.
  EXPECT_EQ(DumpTree(*web), "New home -> index.htm\n  A -> a.htm\n");
  testing::WriteFileBytes(site / "a.htm", "<title>B</title>");
  fs::last_write_time(site / "a.htm",
                      fs::last_write_time(site / "a.htm") + std::chrono::seconds(5));
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(web->AllFiles()[0]->Title(), "B");
}

TEST(FolderWebTest, UnchangedPagesAreNotReadAgainAndLinksComeWhenNeeded) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  testing::WriteFileBytes(site / "index.htm", "<title>Home</title><body><a href=a.htm>a</a>");
  testing::WriteFileBytes(site / "a.htm", "<title>Old</title>");
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  // Titles first: only the heads are read; the navigation then needs the links.
  EXPECT_EQ(web->FindFile("a.htm")->Title(), "Old");
  EXPECT_EQ(DumpTree(*web), "Home -> index.htm\n  Old -> a.htm\n");
  // Other bytes of the same size and time: the page counts as unchanged.
  const auto written = fs::last_write_time(site / "a.htm");
  testing::WriteFileBytes(site / "a.htm", "<title>New</title>");
  fs::last_write_time(site / "a.htm", written);
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(web->FindFile("a.htm")->Title(), "Old");
}

TEST(FolderWebTest, RefreshSeesAChangedOutlineAndNewFiles) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  testing::WriteFileBytes(site / "a.htm", "<title>A</title>");
  testing::WriteFileBytes(site / "b.htm", "<title>B</title>");
  testing::WriteFileBytes(site / "navigation.txt", "a.htm\n  b.htm\n");
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  EXPECT_EQ(DumpTree(*web), "A -> a.htm\n  B -> b.htm\n");
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(DumpTree(*web), "A -> a.htm\n  B -> b.htm\n");
  testing::WriteFileBytes(site / "navigation.txt", "b.htm\na.htm\nc.htm\n");
  fs::last_write_time(site / "navigation.txt",
                      fs::last_write_time(site / "navigation.txt") + std::chrono::seconds(5));
  ASSERT_FALSE(web->Refresh().ok());  // c.htm is missing: a problem
  EXPECT_EQ(DumpTree(*web), "B -> b.htm\nA -> a.htm\nc.htm\n");
  testing::WriteFileBytes(site / "c.htm", "<title>C</title>");
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(DumpTree(*web), "B -> b.htm\nA -> a.htm\nC -> c.htm\n");
  EXPECT_EQ(web->AllFiles().size(), 4u);
}

TEST(FolderWebTest, ManyPagesAreReadTogetherWithProgress) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  constexpr int kPages = 500;
  for (int i = 0; i < kPages; ++i) {
    testing::WriteFileBytes(site / ("p" + std::to_string(i) + ".htm"),
                            "<title>Page " + std::to_string(i) +
                                "</title><meta name=keywords content=k" + std::to_string(i) + ">");
  }
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  std::vector<std::pair<size_t, size_t>> told;
  web->set_read_progress([&](size_t done, size_t total) { told.emplace_back(done, total); });
  for (int i = 0; i < kPages; ++i) {
    FolderWebFile* page = web->FindFile("p" + std::to_string(i) + ".htm");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Title(), "Page " + std::to_string(i));
    EXPECT_EQ(page->Property("keywords").value_or(""), "k" + std::to_string(i));
  }
  // One read for the whole site, told in order and ending with all of it.
  ASSERT_FALSE(told.empty());
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
  EXPECT_EQ(told.back(), std::make_pair(size_t{kPages}, size_t{kPages}));
  EXPECT_LE(told.size(), 102u);
}

TEST(FolderWebTest, OutlineGivesTheNavigation) {
  auto web = OpenOrDie(TestDataPath("sites/basic"));
  ASSERT_TRUE(web);
  EXPECT_EQ(DumpTree(*web),
            "Basic Site -> index.htm\n"
            "  Introduction -> guide/intro.htm\n"
            "    Setup Guide -> guide/setup.htm\n"
            "  Extras\n"
            "    My Page -> My Page.htm\n"
            "    Caf\u00e9 cr\u00e8me -> caf\u00e9.htm\n"
            "  Notes -> NOTES.HTM\n");
  INavigationNode* root = web->RootNavigationNode();
  EXPECT_EQ(root->Label(), "");
  EXPECT_EQ(root->File(), nullptr);
  EXPECT_EQ(root->Url(), "");
  ASSERT_NE(web->HomeNavigationNode(), nullptr);
  EXPECT_EQ(web->HomeNavigationNode()->File(), web->FindFile("index.htm"));
  EXPECT_EQ(web->FindFile("guide/setup.htm")->NavigationNode()->Label(), "Setup Guide");
  EXPECT_EQ(web->FindFile("style.css")->NavigationNode(), nullptr);

  std::vector<std::string> labels;
  for (INavigationNode* node : web->NavigationNodes())
    labels.push_back(node->Label());
  EXPECT_EQ(labels, (std::vector<std::string>{"Basic Site", "Introduction", "Setup Guide", "Extras",
                                              "My Page", "Caf\u00e9 cr\u00e8me", "Notes"}));
}

TEST(FolderWebTest, LinksGiveTheNavigationBreadthFirstEachPageOnce) {
  auto web = OpenOrDie(TestDataPath("sites/derived-nav"));
  ASSERT_TRUE(web);
  EXPECT_EQ(DumpTree(*web),
            "Derived Home -> index.html\n"
            "  Page A -> a.htm\n"
            "  Page B -> b.htm\n"
            "    Page D -> d.htm\n"
            "  Page C -> sub/c.htm\n");
  EXPECT_EQ(web->HomeNavigationNode()->Label(), "Derived Home");
  EXPECT_EQ(web->FindFile("orphan.htm")->NavigationNode(), nullptr);
  EXPECT_EQ(web->NavigationNodes().size(), 5u);
}

TEST(FolderWebTest, BrokenPagesGiveTheirTitleOrTheirName) {
  auto web = OpenOrDie(TestDataPath("sites/broken"));
  ASSERT_TRUE(web);
  struct Case {
    const char* path;
    const char* title;
    const char* keywords;
  };
  const Case cases[] = {
      {"index.htm", "Broken Home", "alpha, beta,gamma"},
      {"bom.htm", "\u00dcber BOM", nullptr},
      {"latin1.htm", "Gr\u00f6\u00dfe", "gr\u00f6\u00dfe;ma\u00df"},
      {"sniffed.htm", "Caf\u00e9 \u20ac 5", nullptr},
      {"notitle.htm", "notitle.htm", "orphan"},
      {"utf16.htm", "Sixteen \u00e9", nullptr},
      {"empty.htm", "empty.htm", nullptr},
      {"xhtml.htm", "XHTML Page", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    IWebFile* file = web->FindFile(c.path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Title(), c.title);
    Result<std::string> keywords = file->Property("keywords");
    EXPECT_EQ(keywords.ok(), c.keywords != nullptr);
    if (keywords.ok() && c.keywords != nullptr) {
      EXPECT_EQ(*keywords, c.keywords);
    }
  }
  // Garbage bytes give some title, valid UTF-8, without a crash.
  EXPECT_FALSE(web->FindFile("garbage.htm")->Title().empty());
  EXPECT_EQ(web->NavigationNodes().size(), 9u);
}

}  // namespace
}  // namespace corvina
