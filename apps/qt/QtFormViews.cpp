#include "apps/qt/QtFormViews.h"

#include <QVBoxLayout>

#include "apps/qt/FormWindow.h"
#include "apps/qt/ItemPanelWidget.h"
#include "apps/qt/LogWindow.h"
#include "compiler/frmHHC.h"
#include "decompile/frmDecompile.h"
#include "mainwindow/frmMain.h"

namespace corvina {
namespace {

// A window made of a parameters panel above a button bar.
FormWindow* PanelWindow(Form& form, ItemPanel& params, ItemPanel& buttons, QWidget* owner) {
  auto* window = new FormWindow(form, owner);  // deleted by its owner or by the view
  auto* column = new QVBoxLayout(window);
  column->setContentsMargins(3, 6, 3, 3);
  auto* params_widget = new ItemPanelWidget(params, ItemPanelWidget::Layout::kParameters, window);
  params_widget->setObjectName("suiParams");
  auto* buttons_widget = new ItemPanelWidget(buttons, ItemPanelWidget::Layout::kButtonBar, window);
  buttons_widget->setObjectName("suiButtons");
  column->addWidget(params_widget, 1);
  column->addWidget(buttons_widget);
  window->on_refresh = [params_widget, buttons_widget] {
    params_widget->Reload();
    buttons_widget->Reload();
  };
  return window;
}

}  // namespace

std::unique_ptr<IFormView> QtFormViews::CreateView(Form& form) {
  FormWindow* window = nullptr;
  if (form.Name() == "frmHHC") {
    window = MakeLogWindow(static_cast<frmHHC&>(form), owner_);
  } else if (form.Name() == "frmMain") {
    auto& main = static_cast<frmMain&>(form);
    window = PanelWindow(form, main.suiParams, main.suiButtons, owner_);
  } else if (form.Name() == "frmDecompile") {
    auto& decompile = static_cast<frmDecompile&>(form);
    window = PanelWindow(form, decompile.suiParams, decompile.suiButtons, owner_);
  } else {
    window = new FormWindow(form, owner_);
  }
  return std::make_unique<FormWindowView>(window);
}

}  // namespace corvina
