#include "workshop/hhview/QtViewer.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdlib>

#include "platform/UniqueFd.h"
#include "workshop/hhview/HelpViewerWindow.h"

namespace corvina::workshop {

bool QtViewerCanRun() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int RunQtViewer(const ChmArchive& archive, const std::string& caption, const std::string& topic,
                const sigset_t& close_signals) {
  int argc = 1;
  char name[] = "hh";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName("hh");

  HelpViewerWindow window(archive, QString::fromStdString(caption), QString::fromStdString(topic));
  // The window's closing (SIGTERM from whoever closes "HH Parent" windows) ends the viewer.
  UniqueFd signal_fd(::signalfd(-1, &close_signals, SFD_CLOEXEC | SFD_NONBLOCK));
  QSocketNotifier notifier(signal_fd.get(), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &window, [&] {
    signalfd_siginfo info{};
    while (::read(signal_fd.get(), &info, sizeof info) == sizeof info) {
      if (info.ssi_signo != SIGCHLD) QApplication::quit();
    }
  });
  notifier.setEnabled(signal_fd.valid());
  window.show();
  return QApplication::exec();
}

}  // namespace corvina::workshop
