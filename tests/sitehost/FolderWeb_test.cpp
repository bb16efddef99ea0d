#include "sitehost/FolderWeb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/FolderWatcher.h"
#include "sitehost/FolderHostApplication.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::TestDataPath;
using testing::WriteFileBytes;

std::unique_ptr<FolderWeb> OpenOrDie(const fs::path& folder) {
  Result<std::unique_ptr<FolderWeb>> web = FolderWeb::Open(folder);
  EXPECT_TRUE(web.ok()) << (web.ok() ? "" : web.error().description);
  return web.ok() ? std::move(web).value() : nullptr;
}

// Writes the file with a modification time later than the one it had.
void Rewrite(const fs::path& path, std::string_view bytes) {
  const auto written = fs::last_write_time(path);
  WriteFileBytes(path, bytes);
  fs::last_write_time(path, written + std::chrono::seconds(5));
}

void DumpNodes(FolderWeb& web, INavigationNode* parent, int depth, std::string& out) {
  for (INavigationNode* node : parent->Children()) {
    out += std::string(2 * depth, ' ') + node->Label();
    if (node->File() != nullptr) out += " -> " + web.ProjectReference(node->Url());
    out += "\n";
    DumpNodes(web, node, depth + 1, out);
  }
}

// The navigation tree, one node per line: indentation, label, " -> " and the project
// reference of its page (nothing for a node without a page).
std::string DumpTree(FolderWeb& web) {
  std::string out;
  DumpNodes(web, web.RootNavigationNode(), 0, out);
  return out;
}

TEST(FolderWebTest, PagesGiveTheirTitleOrTheirNameAndTheirKeywords) {
  struct Case {
    const char* site;
    const char* path;
    const char* title;
    const char* keywords;  // nullptr: the property fails
  };
  const Case cases[] = {
      {"basic", "index.htm", "Basic Site", "home;start"},
      {"basic", "guide/intro.htm", "Introduction", "intro, guide"},
      {"basic", "guide/setup.htm", "Setup", nullptr},
      {"basic", "My Page.htm", "My Page", nullptr},
      {"basic", "caf\u00e9.htm", "Caf\u00e9 cr\u00e8me", "caf\u00e9;cr\u00e8me"},
      {"basic", "NOTES.HTM", "Notes", "notes"},
      {"basic", "style.css", "style.css", nullptr},
      {"basic", "images/logo.gif", "logo.gif", nullptr},
      {"basic", "navigation.txt", "navigation.txt", nullptr},
      {"broken", "index.htm", "Broken Home", "alpha, beta,gamma"},
      {"broken", "bom.htm", "\u00dcber BOM", nullptr},
      {"broken", "latin1.htm", "Gr\u00f6\u00dfe", "gr\u00f6\u00dfe;ma\u00df"},
      {"broken", "sniffed.htm", "Caf\u00e9 \u20ac 5", nullptr},
      {"broken", "notitle.htm", "notitle.htm", "orphan"},
      {"broken", "utf16.htm", "Sixteen \u00e9", nullptr},
      {"broken", "empty.htm", "empty.htm", nullptr},
      {"broken", "xhtml.htm", "XHTML Page", ""},
  };
  auto basic = OpenOrDie(TestDataPath("sites/basic"));
  auto broken = OpenOrDie(TestDataPath("sites/broken"));
  ASSERT_TRUE(basic && broken);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.site) + "/" + c.path);
    IWebFile* file = (c.site == std::string("basic") ? basic : broken)->FindFile(c.path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Title(), c.title);
    Result<std::string> keywords = file->Property("keywords");
    ASSERT_EQ(keywords.ok(), c.keywords != nullptr);
    if (keywords.ok()) {
      EXPECT_EQ(*keywords, c.keywords);
    }
  }
  EXPECT_EQ(basic->FindFile("NOTES.HTM")->Extension(), "HTM");
  EXPECT_FALSE(basic->FindFile("index.htm")->Property("description").ok());
  // Garbage bytes give some title, valid UTF-8, without a crash.
  EXPECT_FALSE(broken->FindFile("garbage.htm")->Title().empty());
  EXPECT_EQ(broken->NavigationNodes().size(), 9u);
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
  EXPECT_EQ(web->HomeNavigationNode()->File(), web->FindFile("index.htm"));
  EXPECT_EQ(web->FindFile("guide/setup.htm")->NavigationNode()->Label(), "Setup Guide");
  EXPECT_EQ(web->FindFile("style.css")->NavigationNode(), nullptr);
  std::string labels;
  for (INavigationNode* node : web->NavigationNodes())
    labels += node->Label() + ";";
  EXPECT_EQ(labels,
            "Basic Site;Introduction;Setup Guide;Extras;My Page;Caf\u00e9 cr\u00e8me;Notes;");
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

TEST(FolderWebTest, RefreshReadsOnlyPagesThatChanged) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", "<title>Home</title><body><a href=a.htm>a</a>");
  WriteFileBytes(site / "a.htm", "<title>Old</title>");
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  // Titles first: only the heads are read; the navigation then needs the links.
  EXPECT_EQ(web->FindFile("a.htm")->Title(), "Old");
  EXPECT_EQ(DumpTree(*web), "Home -> index.htm\n  Old -> a.htm\n");
  // Other bytes of the same size and time: the page counts as unchanged.
  const auto written = fs::last_write_time(site / "a.htm");
  WriteFileBytes(site / "a.htm", "<title>New</title>");
  fs::last_write_time(site / "a.htm", written);
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(web->FindFile("a.htm")->Title(), "Old");
  // Same size, other time: read again. The links were given up once the navigation was built,
  // so it is built again from pages read afresh.
  Rewrite(site / "index.htm", "<title>Main</title><body><a href=a.htm>a</a>");
  Rewrite(site / "a.htm", "<title>B</title>");
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(DumpTree(*web), "Main -> index.htm\n  B -> a.htm\n");
  Rewrite(site / "a.htm", "<title>C</title>");
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(web->FindFile("a.htm")->Title(), "C");
}

TEST(FolderWebTest, RefreshSeesAChangedOutlineAndNewFiles) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "a.htm", "<title>A</title>");
  WriteFileBytes(site / "b.htm", "<title>B</title>");
  WriteFileBytes(site / "navigation.txt", "a.htm\n  b.htm\n");
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(DumpTree(*web), "A -> a.htm\n  B -> b.htm\n");
  Rewrite(site / "navigation.txt", "b.htm\na.htm\nc.htm\n");
  ASSERT_FALSE(web->Refresh().ok());  // c.htm is missing: a problem
  EXPECT_EQ(DumpTree(*web), "B -> b.htm\nA -> a.htm\nc.htm\n");
  WriteFileBytes(site / "c.htm", "<title>C</title>");
  ASSERT_TRUE(web->Refresh().ok());
  EXPECT_EQ(DumpTree(*web), "B -> b.htm\nA -> a.htm\nC -> c.htm\n");
  EXPECT_EQ(web->AllFiles().size(), 4u);
}

// A refresh reads again only the folders that changed since the last one, and checks only the
// files of those folders; it must still see every change.
TEST(FolderWebTest, RefreshSeesEveryChangeInFoldersItDoesNotReadAgain) {
  testing::TempDir dir;
  const fs::path site = dir / "site";
  WriteFileBytes(site / "index.htm", "<title>Home</title>");
  WriteFileBytes(site / "sub/a.htm", "<title>A</title>");
  WriteFileBytes(site / "sub/b.htm", "<title>B</title>");
  WriteFileBytes(site / "other/c.htm", "<title>C</title>");
  WriteFileBytes(dir / "elsewhere.htm", "<title>Shared</title>");
  fs::create_hard_link(dir / "elsewhere.htm", site / "other/shared.htm");
  auto web = OpenOrDie(site);
  ASSERT_TRUE(web);
  FolderWatcher probe;
  const bool watched = probe.Watch(site) >= 0;
  const auto titles = [&] {
    std::string out;
    for (IWebFile* file : web->AllFiles())
      out += file->Title() + ";";
    return out;
  };
  EXPECT_EQ(titles(), "Home;C;Shared;A;B;");

  struct Step {
    const char* what;
    std::function<void()> change;
    const char* titles;
    size_t folders_read;  // where changes are watched
  };
  const Step steps[] = {
      {"nothing", [] {}, "Home;C;Shared;A;B;", 0},
      {"page rewritten", [&] { Rewrite(site / "sub/a.htm", "<title>A2</title>"); },
       "Home;C;Shared;A2;B;", 1},
      {"page added", [&] { WriteFileBytes(site / "sub/new.htm", "<title>New</title>"); },
       "Home;C;Shared;A2;B;New;", 1},
      {"page removed", [&] { fs::remove(site / "other/c.htm"); }, "Home;Shared;A2;B;New;", 1},
      {"page changed through its other name",
       [&] { Rewrite(dir / "elsewhere.htm", "<title>Shared2</title>"); }, "Home;Shared2;A2;B;New;",
       0},
      {"folder replaced",
       [&] {
         fs::rename(site / "sub", dir / "old-sub");
         WriteFileBytes(site / "sub/a.htm", "<title>Fresh</title>");
       },
       "Home;Shared2;Fresh;", 2},
      {"page rewritten in the new folder",
       [&] { Rewrite(site / "sub/a.htm", "<title>Fresh2</title>"); }, "Home;Shared2;Fresh2;", 1},
      {"folder renamed", [&] { fs::rename(site / "sub", site / "moved"); }, "Home;Fresh2;Shared2;",
       2},
      {"page rewritten in the renamed folder",
       [&] { Rewrite(site / "moved/a.htm", "<title>Moved</title>"); }, "Home;Moved;Shared2;", 1},
      {"folder removed", [&] { fs::remove_all(site / "other"); }, "Home;Moved;", 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    ASSERT_TRUE(web->Refresh().ok());
    EXPECT_EQ(titles(), step.titles);
    if (watched) {
      EXPECT_EQ(web->FoldersReadAtRefresh(), step.folders_read);
    }
  }
}

TEST(FolderWebTest, ManyPagesAreReadTogetherWithProgress) {
  testing::TempDir dir;
  constexpr int kPages = 500;
  for (int i = 0; i < kPages; ++i) {
    const std::string n = std::to_string(i);
    WriteFileBytes(dir / ("site/p" + n + ".htm"),
                   "<title>Page " + n + "</title><meta name=keywords content=k" + n + ">");
  }
  auto web = OpenOrDie(dir / "site");
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

}  // namespace
}  // namespace corvina
