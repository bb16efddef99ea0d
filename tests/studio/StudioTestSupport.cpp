#include "tests/studio/StudioTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <cstdlib>

namespace corvina::testing {

MessageBoxAnswerer::MessageBoxAnswerer() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start(20);
}

void MessageBoxAnswerer::Poll() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) continue;
    box->setProperty("answered", true);
    texts << box->text();
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    if (box->standardButtons() != QMessageBox::Ok) {
      if (answers.empty()) {
        ADD_FAILURE() << "unscripted question: " << box->text().toStdString();
        answer = box->standardButtons() & QMessageBox::No ? QMessageBox::No : QMessageBox::Cancel;
      } else {
        answer = answers.front();
        answers.pop_front();
      }
    }
    QTimer::singleShot(0, box, [box, answer] {
      if (QAbstractButton* button = box->button(answer)) button->click();
    });
  }
}

void WhenShown(const QString& object_name, std::function<void(QWidget&)> step) {
  auto* timer = new QTimer();  // deletes itself once the step ran
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, object_name, step] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == object_name && widget->isVisible()) {
        timer->stop();
        timer->deleteLater();
        step(*widget);
        return;
      }
    }
  });
  timer->start();
}

bool WaitFor(const std::function<bool()>& condition) {
  QDeadlineTimer deadline(120'000);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void SaveScreenshot(QWidget& widget, const QString& name) {
  const char* folder = std::getenv("CORVINA_SCREENSHOTS");
  const QString path = folder ? QString(folder) : QDir::tempPath() + "/corvina-screenshots";
  QDir().mkpath(path);
  // Layouts settle in posted events.
  QApplication::processEvents();
  EXPECT_TRUE(widget.grab().save(path + "/" + name + ".png")) << name.toStdString();
}

StudioFixture::StudioFixture() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) old_runtime_ = runtime;
  ::setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
  std::filesystem::create_directories(dir_ / "run");
  const ProgramRun setup = RunProgram({BuiltProgram("corvina"), "setup"});
  EXPECT_EQ(setup.exit_code, 0) << setup.err;
  registry_ = std::make_unique<SqliteRegistryStore>(
      SqliteRegistryStoreOptions{SqliteRegistryStore::DefaultPath()});
  settings_ = std::make_unique<RegistrySettingsStore>(*registry_);
  application_ = std::make_unique<StudioApplication>();
  window_ = std::make_unique<StudioWindow>(*application_, *settings_);
  window_->show();
}

StudioFixture::~StudioFixture() {
  addins_.DisconnectAll();
  window_.reset();
  application_.reset();
  if (old_runtime_.empty()) {
    ::unsetenv("XDG_RUNTIME_DIR");
  } else {
    ::setenv("XDG_RUNTIME_DIR", old_runtime_.c_str(), 1);
  }
}

std::filesystem::path StudioFixture::OpenSite(std::string_view name) {
  const std::filesystem::path site = dir_ / "site";
  std::filesystem::copy(TestDataPath(std::string("sites/") + std::string(name)), site,
                        std::filesystem::copy_options::recursive);
  Status opened = window_->OpenSite(site);
  EXPECT_TRUE(opened.ok()) << opened.description();
  return site;
}

void StudioFixture::ConnectAddIns() {
  const std::vector<std::string> problems =
      addins_.ConnectAtStartup(*registry_, application_.get());
  for (const std::string& problem : problems)
    ADD_FAILURE() << problem;
  ASSERT_EQ(addins_.loaded().size(), 1u);
  QApplication::processEvents();
}

QAction* StudioFixture::Command(const QString& path) {
  return window_->findChild<QAction*>(path);
}

}  // namespace corvina::testing
