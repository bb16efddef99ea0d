#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/IFormView.h"

namespace corvina {

// The windows of the system as Qt dialogs: the main window and the decompile window as a
// parameters panel above a button bar, the compiler log window as a live log with a progress
// bar. Each dialog is a window of its own over the owner given here (the host's main window).
class QtFormViews : public IFormViews {
 public:
  explicit QtFormViews(QWidget* owner = nullptr) : owner_(owner) {}
  std::unique_ptr<IFormView> CreateView(Form& form) override;
  void set_owner(QWidget* owner) { owner_ = owner; }

 private:
  QPointer<QWidget> owner_;
};

}  // namespace corvina
