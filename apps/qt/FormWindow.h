#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

#include "platform/IFormView.h"

namespace corvina {

class Form;

// A window of the system on screen: a dialog that follows its form. It is placed where the
// form says once the form has been activated, tells the form of each move and resize (in
// twips), shows modally until the form is hidden or unloaded, and unloads the form when the
// user closes it.
class FormWindow : public QDialog {
 public:
  FormWindow(Form& form, QWidget* parent = nullptr);

  // Draws the form's state again; Refresh() of the view calls it.
  std::function<void()> on_refresh;

  void ShowForm(bool modal);
  void FormUnloaded();
  bool form_unloaded() const { return unloaded_; }
  Form& form() { return *form_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void ApplyPlacement();
  void ReadPlacement();

  Form* form_;
  bool unloaded_ = false;
  bool placing_ = false;
};

// The view of a form: its window. The window is a child of the host's main window when there
// is one (Qt deletes it with that window); else the view deletes it, through the event loop,
// since the view may go while the window's own loop still runs.
class FormWindowView : public IFormView {
 public:
  explicit FormWindowView(FormWindow* window) : window_(window) {}
  ~FormWindowView() override;
  void Show(bool modal) override {
    if (window_) window_->ShowForm(modal);
  }
  void Hide() override {
    if (window_) window_->hide();
  }
  void Refresh() override {
    if (window_ && window_->on_refresh) window_->on_refresh();
  }
  void Unloaded() override {
    if (window_) window_->FormUnloaded();
  }
  FormWindow* window() { return window_; }

 private:
  QPointer<FormWindow> window_;
};

}  // namespace corvina
