#include "shared/Form.h"

#include "platform/IFormView.h"
#include "platform/Platform.h"

namespace corvina {

Form::Form(std::string sName, std::string sCaption, float fClientWidth, float fClientHeight)
    : Caption(std::move(sCaption)), mName(std::move(sName)) {
  static int32_t next_handle = 0x10000;
  mHandle = next_handle++;
  Width = fClientWidth;
  Height = fClientHeight;
}

Form::~Form() = default;

void Form::EnsureView() {
  if (!mView && CurrentPlatform().form_views != nullptr) mView = FormViews().CreateView(*this);
}

void Form::Show(bool bModal) {
  EnsureView();
  mVisible = true;
  if (mView) mView->Show(bModal);
}

void Form::Hide() {
  mVisible = false;
  if (mView) mView->Hide();
}

void Form::Refresh() {
  if (mView) mView->Refresh();
}

void Form::Unload() {
  if (!mLoaded) return;
  mLoaded = false;
  Form_Unload();
  mVisible = false;
  // The view stays allocated: its modal loop may be the caller of this very unload.
  if (mView) mView->Unloaded();
}

}  // namespace corvina
