#include "apps/qt/FormWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "shared/Form.h"
#include "shared/ItemPanel.h"

namespace corvina {
namespace {

int Pixels(float twips) {
  return static_cast<int>(twips / kTwipsPerPixel + 0.5f);
}

}  // namespace

FormWindow::FormWindow(Form& form, QWidget* parent) : QDialog(parent), form_(&form) {
  setObjectName(QString::fromStdString(form.Name()));
  setWindowTitle(QString::fromStdString(form.Caption));
  setSizeGripEnabled(true);
  resize(Pixels(form.Width), Pixels(form.Height));
}

void FormWindow::ShowForm(bool modal) {
  setWindowTitle(QString::fromStdString(form_->Caption));
  if (modal) {
    setWindowModality(Qt::ApplicationModal);
    exec();
  } else {
    setWindowModality(Qt::NonModal);
    show();
    raise();
  }
}

void FormWindow::FormUnloaded() {
  unloaded_ = true;
  hide();
}

void FormWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The form restores its saved placement when it becomes active; the window takes it once per
  // showing, so that a message box closing over it does not move it back.
  form_->Activated();
  ApplyPlacement();
  form_->Resized();
  if (on_refresh) on_refresh();
}

void FormWindow::ApplyPlacement() {
  placing_ = true;
  const QRect wanted(Pixels(form_->Left), Pixels(form_->Top), Pixels(form_->Width),
                     Pixels(form_->Height));
  if (wanted.width() > 0 && wanted.height() > 0) resize(wanted.size());
  // A form that was never placed (0, 0) stays where the window system put it.
  if (form_->Left != 0 || form_->Top != 0) move(wanted.topLeft());
  placing_ = false;
  ReadPlacement();
}

void FormWindow::ReadPlacement() {
  const QRect frame = frameGeometry();
  form_->Left = static_cast<float>(frame.x()) * kTwipsPerPixel;
  form_->Top = static_cast<float>(frame.y()) * kTwipsPerPixel;
  form_->Width = static_cast<float>(width()) * kTwipsPerPixel;
  form_->Height = static_cast<float>(height()) * kTwipsPerPixel;
}

void FormWindow::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  if (!placing_ && isVisible()) ReadPlacement();
}

void FormWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (placing_ || !isVisible()) return;
  ReadPlacement();
  form_->Resized();
  if (on_refresh) on_refresh();
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // Closing the window unloads the form, which hides the window.
  if (!unloaded_ && form_->IsLoaded()) {
    event->ignore();
    form_->Unload();
    return;
  }
  QDialog::closeEvent(event);
}

void FormWindow::reject() {
  // Escape closes the window as its close box does.
  if (!unloaded_ && form_->IsLoaded()) {
    form_->Unload();
    return;
  }
  QDialog::reject();
}

FormWindowView::~FormWindowView() {
  // After the application has gone (static forms end after main), nothing may touch Qt.
  if (window_ && QCoreApplication::instance() != nullptr) window_->deleteLater();
}

}  // namespace corvina
