#pragma once

#include <memory>
#include <string_view>

namespace corvina {

class Form;

// What a window looks like on screen: the front end draws a form's model (its panels, its
// log, its progress) and runs its modal loop. The console front end, the GUI and the tests
// each supply their own.
class IFormView {
 public:
  virtual ~IFormView() = default;
  // Shows the form. A modal show returns only when the form has been hidden or unloaded.
  virtual void Show(bool modal) = 0;
  virtual void Hide() = 0;
  // The model changed (values, log text, progress, enabled buttons): draw it again.
  virtual void Refresh() = 0;
  // The form is unloaded; the view must not touch it afterwards.
  virtual void Unloaded() = 0;
};

// Makes the view of each form when the form is loaded.
class IFormViews {
 public:
  virtual ~IFormViews() = default;
  virtual std::unique_ptr<IFormView> CreateView(Form& form) = 0;
};

}  // namespace corvina
