#include "apps/qt/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace corvina {
namespace {

QMessageBox::Icon IconOf(Icon icon) {
  switch (icon) {
    case Icon::kCritical:
      return QMessageBox::Critical;
    case Icon::kQuestion:
      return QMessageBox::Question;
    case Icon::kExclamation:
      return QMessageBox::Warning;
    case Icon::kInformation:
      return QMessageBox::Information;
    case Icon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(Buttons buttons) {
  switch (buttons) {
    case Buttons::kOk:
      return QMessageBox::Ok;
    case Buttons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case Buttons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

}  // namespace

Answer QtMessageBoxes::Show(const MessageBoxRequest& request) {
  QString text = QString::fromStdString(request.text);
  text.replace("\r\n", "\n");
  QMessageBox box(IconOf(request.icon), QString::fromStdString(request.caption), text,
                  ButtonsOf(request.buttons), QApplication::activeWindow());
  box.setObjectName("CorvinaMessageBox");
  box.setDefaultButton(request.buttons == Buttons::kOk || request.buttons == Buttons::kOkCancel
                           ? QMessageBox::Ok
                           : QMessageBox::Yes);
  // Closing the box with Escape or its title bar answers as its cancelling button does.
  if (request.buttons == Buttons::kYesNo) box.setEscapeButton(QMessageBox::No);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      return request.buttons == Buttons::kOkCancel ? Answer::kCancel : Answer::kOk;
  }
}

}  // namespace corvina
