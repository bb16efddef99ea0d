#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvina {

class IFormView;

// What every window of the system shares: its caption, its outer measures in twips, whether
// it is loaded and shown, and its view, which the front end makes when the window is loaded.
class Form {
 public:
  Form(std::string sName, std::string sCaption, float fClientWidth, float fClientHeight);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& Name() const { return mName; }
  std::string Caption;
  float Left = 0;
  float Top = 0;
  float Width = 0;
  float Height = 0;
  // A number that stands for the window, for owners of dialogs and viewers.
  int32_t hWnd() const { return mHandle; }

  bool Visible() const { return mVisible; }
  bool IsLoaded() const { return mLoaded; }

  // Runs Form_Load; the window's slot calls it once, right after making the window.
  void Load() { Form_Load(); }
  void Show(bool bModal);
  void Hide();
  // Redraws the window (the model changed).
  void Refresh();
  // Runs Form_Unload and closes the view. The object itself stays valid until its owner
  // releases it, so a routine of the window may unload it and still return safely.
  void Unload();

 protected:
  virtual void Form_Load() {}
  virtual void Form_Activate() {}
  virtual void Form_Unload() {}
  // The size changed: lay the children out again.
  virtual void C1Elastic1_ResizeChildren() {}

  void EnsureView();

 public:
  // Called by the view when the window becomes active and when its size changed.
  void Activated() { Form_Activate(); }
  void Resized() { C1Elastic1_ResizeChildren(); }

 private:
  std::string mName;
  int32_t mHandle;
  std::unique_ptr<IFormView> mView;
  bool mVisible = false;
  bool mLoaded = true;
};

// The one loaded instance of a window class, made on first use as a window is loaded when code
// first touches it. An unloaded window is kept until the program ends, since its own routine
// may still be running; the next use makes a fresh one.
template <typename T>
class FormSlot {
 public:
  T& Get() {
    if (!mForm || !mForm->IsLoaded()) {
      if (mForm) mRetired.push_back(std::move(mForm));
      mForm = std::make_unique<T>();
      mForm->Load();
    }
    return *mForm;
  }
  bool IsLoaded() const { return mForm && mForm->IsLoaded(); }
  void Unload() {
    if (mForm) mForm->Unload();
  }

 private:
  std::unique_ptr<T> mForm;
  std::vector<std::unique_ptr<T>> mRetired;
};

template <typename T>
FormSlot<T>& Forms() {
  static FormSlot<T> slot;
  return slot;
}

// The loaded window of class T, loading it first when needed.
template <typename T>
T& Loaded() {
  return Forms<T>().Get();
}

}  // namespace corvina
