#include <QApplication>
#include <QTimer>
#include <string>

#include "apps/studio/AddInLoader.h"
#include "apps/studio/StudioApplication.h"
#include "apps/studio/StudioWindow.h"
#include "platform/Product.h"
#include "platform/RegistrySettingsStore.h"
#include "platform/SqliteRegistryStore.h"

namespace {

// corvina-studio [SITE]: the desktop host. It connects the add-ins recorded in this user's
// registry store (corvina setup records Corvina's) and opens SITE when given.
int Run(int argc, char** argv) {
  using namespace corvina;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvina Studio");
  SqliteRegistryStore registry(SqliteRegistryStoreOptions{SqliteRegistryStore::DefaultPath()});
  RegistrySettingsStore settings(registry);
  StudioApplication application;
  StudioWindow window(application, settings);
  window.show();
  if (argc > 1) {
    if (Status opened = window.OpenSite(argv[1]); !opened.ok()) {
      window.Tell(QString::fromStdString(opened.description()));
    }
  }
  AddInLoader addins;
  const std::vector<std::string> problems = addins.ConnectAtStartup(registry, &application);
  if (!problems.empty()) {
    QStringList lines;
    for (const std::string& problem : problems)
      lines << QString::fromStdString(problem);
    QTimer::singleShot(0, &window, [&window, lines] { window.Tell(lines.join("\n")); });
  }
  const int status = QApplication::exec();
  addins.DisconnectAll();
  application.bars().DropTemporary();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  return corvina::RunMain(Run, argc, argv, 2);
}
