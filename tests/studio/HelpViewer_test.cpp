#include <gtest/gtest.h>

#include <QListWidget>
#include <QTreeWidget>

#include "tests/fakes/TestSupport.h"
#include "tests/studio/StudioTestSupport.h"
#include "workshop/common/ChmArchive.h"
#include "workshop/hhview/ChmBrowser.h"
#include "workshop/hhview/HelpViewerWindow.h"

namespace corvina::testing {
namespace {

using workshop::ChmArchive;
using workshop::HelpViewerWindow;

// Corvina's own help file, compiled from docs/ by the build.
std::filesystem::path OwnHelp() {
  return std::filesystem::path(CORVINA_BIN_DIR) / "Corvina.CHM";
}

TEST(HelpViewerTest, ShowsContentsIndexSearchAndPagesOfOurOwnHelp) {
  if (!std::filesystem::exists(OwnHelp())) GTEST_SKIP() << "Corvina.CHM was not built (no chmcmd)";
  Result<ChmArchive> archive = ChmArchive::Open(OwnHelp());
  ASSERT_TRUE(archive.ok()) << archive.error().description;
  HelpViewerWindow window(*archive, "Corvina Help", "");
  window.show();

  QTreeWidget* contents = window.contents();
  ASSERT_EQ(contents->topLevelItemCount(), 4);
  EXPECT_EQ(contents->topLevelItem(0)->text(0), "Welcome to Corvina");
  EXPECT_EQ(contents->topLevelItem(1)->text(0), "The desktop host");
  EXPECT_EQ(contents->topLevelItem(1)->childCount(), 4);
  EXPECT_EQ(contents->topLevelItem(3)->text(0), "The command line");

  // The first page, with its style sheet, from inside the file.
  EXPECT_EQ(window.browser()->source().path(), "/index.html");
  EXPECT_TRUE(window.browser()->toPlainText().contains("Corvina turns a web site"));
  EXPECT_FALSE(window.browser()->FileBytes("/style.css").isEmpty());
  EXPECT_FALSE(window.browser()->FileBytes("/STYLE.CSS").isEmpty());  // links made case-blind
  // The page's linked style sheet is applied (its heading colour) and resolves inside the file.
  EXPECT_TRUE(window.browser()->document()->toHtml().contains("#1f4e79"));
  EXPECT_FALSE(window.browser()
                   ->loadResource(QTextDocument::StyleSheetResource, QUrl("style.css"))
                   .toByteArray()
                   .isEmpty());

  QStringList keywords;
  for (int i = 0; i < window.index()->count(); ++i)
    keywords << window.index()->item(i)->text();
  EXPECT_TRUE(keywords.contains("navigation.txt")) << keywords.join(", ").toStdString();
  // Through the file's search index: the words as the index splits them, any letter case.
  ASSERT_TRUE(archive->ReadFile("/$FIftiMain", 1 << 24).ok());
  EXPECT_EQ(window.Search("navigation.txt _derived"), 1);  // only the conventions page has both
  EXPECT_EQ(window.results()->item(0)->text(), "Site conventions");
  EXPECT_EQ(window.results()->item(0)->data(Qt::UserRole + 1).toString(), "/conventions.html");
  EXPECT_EQ(window.Search("SITE Conventions"), window.Search("site conventions"));
  EXPECT_EQ(window.Search("no-such-word-anywhere"), 0);

  // A link of the page opens its target.
  window.browser()->setSource(workshop::ChmBrowser::AddressOf("conventions.html#x"));
  EXPECT_TRUE(window.browser()->toPlainText().contains("A site is a folder."));
  SaveScreenshot(window, "hh-viewer");
}

TEST(HelpViewerTest, HhRefusesWhatIsNoHelpFileWithoutOpeningAWindow) {
  TempDir dir;
  WriteFileBytes(dir / "fake.chm", std::string("ITSF") + std::string(200, '\xff'));
  WriteFileBytes(dir / "empty.chm", "");
  for (const char* name : {"fake.chm", "empty.chm", "missing.chm"}) {
    SCOPED_TRACE(name);
    const ProgramRun run = RunProgram({BuiltProgram("hh"), (dir / name).string()});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.err.starts_with("hh: ")) << run.err;
  }
}

}  // namespace
}  // namespace corvina::testing
