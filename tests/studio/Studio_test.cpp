#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>

#include "apps/studio/PageWindow.h"
#include "platform/RuntimeDirWindows.h"
#include "tests/studio/StudioTestSupport.h"

namespace corvina::testing {
namespace {

QStringList ActionTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) texts << action->text();
  }
  return texts;
}

class StudioTest : public StudioFixture {};

// Compile with the main window: the output path set, the viewer off.
void GenerateInto(const std::filesystem::path& output) {
  WhenShown("frmMain", [output](QWidget& main) {
    auto* path = main.findChild<QLineEdit*>("OUTPUT");
    path->setText(QString::fromStdString(output.string()));
    emit path->textEdited(path->text());
    auto* view = main.findChild<QCheckBox*>("VIEWRESULT");
    if (view->isChecked()) view->click();
    main.findChild<QPushButton*>("GENERATE")->click();
  });
}

TEST_F(StudioTest, TheCommandBarsShowTheAddInWhileItIsConnected) {
  ConnectAddIns();
  QMenu* tools = window_->tools_menu();
  EXPECT_EQ(ActionTexts(tools), (QStringList{"&Refresh Site", "Corvina"}));
  auto* popup = window_->findChild<QMenu*>("Tools/Corvina");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(ActionTexts(popup), (QStringList{"Compile", "Decompile", "Help"}));
  for (QAction* action : popup->actions())
    EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
  auto* toolbar_popup = window_->standard_toolbar()->findChild<QToolButton*>("Standard/Corvina");
  ASSERT_NE(toolbar_popup, nullptr);
  ASSERT_NE(toolbar_popup->menu(), nullptr);
  EXPECT_EQ(ActionTexts(toolbar_popup->menu()), (QStringList{"Compile", "Decompile", "Help"}));
  SaveScreenshot(*window_, "studio-connected");

  addins_.DisconnectAll();
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(ActionTexts(tools), QStringList{"&Refresh Site"});
  EXPECT_EQ(window_->findChild<QMenu*>("Tools/Corvina"), nullptr);
  // The toolbar's pop-up stays until the host closes; its buttons reach nobody any more.
  EXPECT_NE(window_->standard_toolbar()->findChild<QToolButton*>("Standard/Corvina"), nullptr);
}

TEST_F(StudioTest, AMissingModuleIsToldAndTheHostRunsWithoutIt) {
  const std::string key = std::string(kAddInsKey) + "\\Sitepack.Connect";
  const std::string missing = (dir_ / "gone.so").string() + '\0';
  ASSERT_TRUE(registry_
                  ->SetValue(kHkeyCurrentUser, key, "Module", kRegSz,
                             std::as_bytes(std::span(missing.data(), missing.size())))
                  .ok());
  const std::vector<std::string> problems =
      addins_.ConnectAtStartup(*registry_, application_.get());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(problems[0].starts_with("The add-in CorvinaStudio was not loaded: load " +
                                      (dir_ / "gone.so").string() + ": "))
      << problems[0];
  EXPECT_TRUE(addins_.loaded().empty());
  QApplication::processEvents();
  EXPECT_EQ(window_->findChild<QMenu*>("Tools/Corvina"), nullptr);
}

TEST_F(StudioTest, CompileFromTheToolsMenuRunsToDoneAndWritesTheHelpFile) {
  const std::filesystem::path site = OpenSite("basic");
  ConnectAddIns();
  MessageBoxAnswerer boxes;
  const std::filesystem::path output = dir_ / "out" / "Basic.chm";
  std::filesystem::create_directories(output.parent_path());
  bool closed_during_run = false;
  WhenShown("frmMain", [&](QWidget& main) {
    SaveScreenshot(main, "frmMain");
    auto* path = main.findChild<QLineEdit*>("OUTPUT");
    ASSERT_NE(path, nullptr);
    path->setText(QString::fromStdString(output.string()));
    emit path->textEdited(path->text());
    main.findChild<QCheckBox*>("VIEWRESULT")->click();  // off
    main.findChild<QCheckBox*>("CLOSELOG")->click();    // on: the log stays open
    WhenShown("frmHHC", [&](QWidget& log) {
      // Shown while the compiler runs: "Close" is disabled until the run ends.
      closed_during_run = !log.findChild<QPushButton*>("CLOSE")->isEnabled();
    });
    main.findChild<QPushButton*>("GENERATE")->click();
  });
  Command("Tools/Corvina/Compile")->trigger();

  EXPECT_TRUE(closed_during_run);
  QWidget* log = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "frmHHC" && widget->isVisible()) log = widget;
  }
  ASSERT_NE(log, nullptr);
  const QString text = log->findChild<QPlainTextEdit*>("txtOutput")->toPlainText();
  EXPECT_TRUE(text.startsWith("Starting Microsoft HTML Help Workshop compiler\n"))
      << text.toStdString();
  EXPECT_TRUE(text.endsWith("\nDone!")) << text.toStdString();
  EXPECT_EQ(log->findChild<QProgressBar*>("elaProgress")->value(), 100);
  EXPECT_TRUE(log->findChild<QPushButton*>("CLOSE")->isEnabled());
  SaveScreenshot(*log, "frmHHC");
  EXPECT_TRUE(std::filesystem::is_regular_file(output));
  EXPECT_GT(std::filesystem::file_size(output), 1000u);
  log->findChild<QPushButton*>("CLOSE")->click();
  EXPECT_FALSE(log->isVisible());
  // Nothing of the run is left in the site.
  for (const auto& entry : std::filesystem::directory_iterator(site)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("Cor")) << entry.path();
  }
}

TEST_F(StudioTest, UnsavedPagesAreSavedWhenTheUserSaysYes) {
  const std::filesystem::path site = OpenSite("basic");
  ConnectAddIns();
  PageWindow* first = window_->OpenPage("index.htm");
  PageWindow* second = window_->OpenPage("My Page.htm");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  first->editor()->appendPlainText("<!-- one -->");
  second->editor()->appendPlainText("<!-- two -->");
  SaveScreenshot(*window_, "studio-pages");
  MessageBoxAnswerer boxes;
  boxes.answers.push_back(QMessageBox::Yes);
  GenerateInto(dir_ / "Unsaved.chm");
  Command("Standard/Corvina/Compile")->trigger();
  ASSERT_FALSE(boxes.texts.isEmpty());
  EXPECT_EQ(boxes.texts[0], "There are unsaved documents. Would you like to save it?");
  EXPECT_FALSE(first->IsModified());
  EXPECT_FALSE(second->IsModified());
  EXPECT_NE(ReadFileBytes(site / "index.htm").find("<!-- one -->"), std::string::npos);
  EXPECT_NE(ReadFileBytes(site / "My Page.htm").find("<!-- two -->"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_ / "Unsaved.chm"));
}

TEST_F(StudioTest, TheDecompileWindowKeepsItsInputs) {
  ConnectAddIns();
  MessageBoxAnswerer boxes;
  WhenShown("frmDecompile", [&](QWidget& window) {
    auto* file = window.findChild<QLineEdit*>("FILE");
    auto* dir = window.findChild<QLineEdit*>("DIR");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(file->text().isEmpty());
    auto* to_site = window.findChild<QCheckBox*>("TOFPSITE");
    EXPECT_TRUE(to_site->isChecked());
    EXPECT_FALSE(to_site->isEnabled());
    file->setText("/nowhere/help.chm");
    emit file->textEdited(file->text());
    dir->setText(QString::fromStdString((dir_ / "out").string()));
    emit dir->textEdited(dir->text());
    SaveScreenshot(window, "frmDecompile");
    window.findChild<QPushButton*>("CLOSE")->click();
  });
  Command("Tools/Corvina/Decompile")->trigger();
  WhenShown("frmDecompile", [&](QWidget& window) {
    EXPECT_EQ(window.findChild<QLineEdit*>("FILE")->text(), "/nowhere/help.chm");
    window.close();
  });
  Command("Tools/Corvina/Decompile")->trigger();
  EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(StudioTest, AViewerHoldingTheOutputIsClosedOnYesAndTheRunGoesOn) {
  OpenSite("basic");
  ConnectAddIns();
  MessageBoxAnswerer boxes;
  const std::filesystem::path output = dir_ / "Held.chm";
  GenerateInto(output);
  Command("Tools/Corvina/Compile")->trigger();
  ASSERT_TRUE(std::filesystem::is_regular_file(output));
  boxes.texts.clear();

  // Our own viewer shows the file (offscreen, as the test runs) and holds it.
  QProcess viewer;
  viewer.start(QString::fromStdString(BuiltProgram("hh")),
               {QString::fromStdString(output.string())});
  ASSERT_TRUE(viewer.waitForStarted());
  RuntimeDirWindows windows(RuntimeDirWindows::DefaultFolder());
  ASSERT_TRUE(WaitFor([&] { return windows.FindWindow("HH Parent", "Basic Site") != kNoWindow; }))
      << viewer.readAllStandardError().toStdString();
  const auto before = std::filesystem::last_write_time(output);

  boxes.answers.push_back(QMessageBox::Yes);
  GenerateInto(output);
  Command("Tools/Corvina/Compile")->trigger();
  ASSERT_FALSE(boxes.texts.isEmpty());
  EXPECT_TRUE(boxes.texts[0].startsWith("Output file is locked.")) << boxes.texts[0].toStdString();
  // The viewer ended while the run went on (its end may already be known).
  EXPECT_TRUE(viewer.state() == QProcess::NotRunning || viewer.waitForFinished(60'000));
  EXPECT_EQ(windows.FindWindow("HH Parent", "Basic Site"), kNoWindow);
  EXPECT_TRUE(std::filesystem::is_regular_file(output));
  EXPECT_NE(std::filesystem::last_write_time(output), before);
}

// The site's folder removed behind the host's back: refreshing says so, and a compile stops
// without writing a help file, the host still running.
TEST_F(StudioTest, ASiteFolderRemovedWhileOpenIsToldAndNothingIsCompiled) {
  const std::filesystem::path site = OpenSite("basic");
  ConnectAddIns();
  MessageBoxAnswerer boxes;
  std::filesystem::remove_all(site);
  window_->tools_menu()->actions().first()->trigger();  // Refresh Site
  const std::filesystem::path output = dir_ / "Gone.chm";
  GenerateInto(output);
  // The stopped run leaves the main window open for the user: close it.
  WhenShown("frmMain", [](QWidget& main) { main.findChild<QPushButton*>("CLOSE")->click(); });
  Command("Tools/Corvina/Compile")->trigger();
  const QString gone =
      "read folder " + QString::fromStdString(site.string()) + ": No such file or directory";
  ASSERT_GE(boxes.texts.size(), 2);
  EXPECT_EQ(boxes.texts[0], gone);
  EXPECT_TRUE(boxes.texts[1].startsWith(gone + "\nin Sitepack.frmMain.Generate at line "))
      << boxes.texts[1].toStdString();
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_TRUE(window_->isVisible());
}

}  // namespace
}  // namespace corvina::testing
