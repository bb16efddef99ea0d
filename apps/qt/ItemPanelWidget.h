#pragma once

#include <QWidget>
#include <map>
#include <string>

#include "shared/ItemPanel.h"

class QGridLayout;
class QHBoxLayout;

namespace corvina {

// Draws an item panel: a parameters panel as a column of captioned fields, check boxes and
// headings, or a button bar as a row of buttons pushed to the right by its spacer. What the
// user types or ticks goes into the items at once; a pressed button, a browse button and a
// choice from a list raise the panel's events. Reload() draws the items again.
class ItemPanelWidget : public QWidget {
 public:
  enum class Layout { kParameters, kButtonBar };

  ItemPanelWidget(ItemPanel& panel, Layout layout, QWidget* parent);

  void Reload();
  ItemPanel& panel() { return *panel_; }

 private:
  void BuildParameters();
  void BuildButtonBar();

  ItemPanel* panel_;
  // The widget of each item, by key; a field's caption is found as "<key>:caption".
  std::map<std::string, QWidget*> widgets_;
};

}  // namespace corvina
