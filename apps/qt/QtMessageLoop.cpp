#include "apps/qt/QtMessageLoop.h"

#include <QCoreApplication>

namespace corvina {

void QtMessageLoop::DoEvents() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace corvina
