#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "apps/studio/AddInLoader.h"
#include "apps/studio/StudioApplication.h"
#include "apps/studio/StudioWindow.h"
#include "platform/RegistrySettingsStore.h"
#include "platform/SqliteRegistryStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina::testing {

// Answers the message boxes that modal code opens, from a script, and records their texts.
// An unscripted question is answered No (Cancel) and fails the test; an OK box is closed.
class MessageBoxAnswerer {
 public:
  MessageBoxAnswerer();
  QStringList texts;
  std::deque<QMessageBox::StandardButton> answers;

 private:
  void Poll();
  QTimer timer_;
};

// Runs the step on the first visible top-level widget with this object name, once it is shown
// (while a modal loop runs). The step's failures are the test's.
void WhenShown(const QString& object_name, std::function<void(QWidget&)> step);
// Waits (handling events) until the condition holds; false after a generous limit.
bool WaitFor(const std::function<bool()>& condition);

// Saves the widget's picture under $CORVINA_SCREENSHOTS (default: the system's temp folder,
// corvina-screenshots/).
void SaveScreenshot(QWidget& widget, const QString& name);

// The desktop host on a fresh registry store in a temporary folder: "corvina setup" has
// recorded the help compiler and the add-in module of this build.
class StudioFixture : public ::testing::Test {
 protected:
  StudioFixture();
  ~StudioFixture() override;

  // Copies a site of tests/data/sites into the temporary folder and opens it.
  std::filesystem::path OpenSite(std::string_view name);
  void ConnectAddIns();
  QAction* Command(const QString& path);  // "Tools/Corvina/Compile"

  TempDir dir_;
  std::string old_runtime_;
  std::unique_ptr<SqliteRegistryStore> registry_;
  std::unique_ptr<RegistrySettingsStore> settings_;
  std::unique_ptr<StudioApplication> application_;
  std::unique_ptr<StudioWindow> window_;
  AddInLoader addins_;
};

}  // namespace corvina::testing
