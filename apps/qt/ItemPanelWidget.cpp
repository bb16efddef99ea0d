#include "apps/qt/ItemPanelWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

namespace corvina {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The bars' images ("close", "restore", "help", "export") from the style's own icons.
QIcon ImageOf(const std::string& key) {
  QStyle* style = QApplication::style();
  if (key == "close") return style->standardIcon(QStyle::SP_DialogCloseButton);
  if (key == "restore") return style->standardIcon(QStyle::SP_MediaPlay);
  if (key == "help") return style->standardIcon(QStyle::SP_DialogHelpButton);
  if (key == "export") return style->standardIcon(QStyle::SP_DialogSaveButton);
  return {};
}

int Pixels(float twips) {
  return static_cast<int>(twips / kTwipsPerPixel + 0.5f);
}

}  // namespace

ItemPanelWidget::ItemPanelWidget(ItemPanel& panel, Layout layout, QWidget* parent)
    : QWidget(parent), panel_(&panel) {
  if (layout == Layout::kParameters) {
    BuildParameters();
  } else {
    BuildButtonBar();
  }
  Reload();
}

void ItemPanelWidget::BuildParameters() {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 0, 6, 0);
  grid->setVerticalSpacing(3);
  grid->setColumnStretch(1, 1);
  int row = 0;
  for (Item& item : panel_->Items()) {
    const std::string key = item.Key;
    const QString object_name = Q(key);
    switch (item.Kind) {
      case ItemKind::kSeparator:
      case ItemKind::kSpacer: {
        auto* line = new QFrame(this);
        line->setFixedHeight(std::max(2, Pixels(item.Height)));
        grid->addWidget(line, row++, 0, 1, 2);
        widgets_[key.empty() ? "#" + std::to_string(row) : key] = line;
        break;
      }
      case ItemKind::kHeading: {
        auto* heading = new QLabel(this);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        grid->addWidget(heading, row++, 0, 1, 2);
        widgets_[key] = heading;
        break;
      }
      case ItemKind::kLabel: {
        auto* label = new QLabel(this);
        label->setEnabled(false);  // drawn in the grey-text colour
        grid->addWidget(label, row++, 0, 1, 2);
        widgets_[key] = label;
        break;
      }
      case ItemKind::kCheckBox: {
        auto* box = new QCheckBox(this);
        QObject::connect(box, &QCheckBox::clicked, this,
                         [this, key](bool checked) { (*panel_)[key].Checked = checked; });
        grid->addWidget(box, row++, 0, 1, 2);
        widgets_[key] = box;
        break;
      }
      case ItemKind::kTextField:
      case ItemKind::kBrowseField:
      case ItemKind::kDropDown: {
        auto* caption = new QLabel(this);
        grid->addWidget(caption, row, 0);
        widgets_[key + ":caption"] = caption;
        QWidget* field = nullptr;
        if (item.Kind == ItemKind::kDropDown) {
          auto* combo = new QComboBox(this);
          QObject::connect(combo, &QComboBox::activated, this, [this, key](int index) {
            if (index >= 0) panel_->ChooseEntry(key, static_cast<size_t>(index));
          });
          field = combo;
        } else {
          auto* edit = new QLineEdit(this);
          QObject::connect(edit, &QLineEdit::textEdited, this, [this, key](const QString& text) {
            (*panel_)[key].Value = text.toStdString();
          });
          field = edit;
        }
        caption->setBuddy(field);
        if (item.Kind == ItemKind::kBrowseField) {
          auto* row_widget = new QWidget(this);
          auto* row_layout = new QHBoxLayout(row_widget);
          row_layout->setContentsMargins(0, 0, 0, 0);
          row_layout->setSpacing(2);
          field->setParent(row_widget);
          row_layout->addWidget(field, 1);
          auto* browse = new QToolButton(row_widget);
          browse->setText("...");
          browse->setObjectName(object_name + "_browse");
          QObject::connect(browse, &QToolButton::clicked, this,
                           [this, key] { panel_->PressBrowse(key); });
          row_layout->addWidget(browse);
          grid->addWidget(row_widget, row++, 1);
        } else {
          grid->addWidget(field, row++, 1);
        }
        widgets_[key] = field;
        break;
      }
      case ItemKind::kButton: {
        auto* button = new QPushButton(this);
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, key] { panel_->PressButton(key); });
        grid->addWidget(button, row++, 0, 1, 2);
        widgets_[key] = button;
        break;
      }
    }
    if (QWidget* widget = widgets_[key]; widget && !key.empty()) widget->setObjectName(object_name);
  }
  grid->setRowStretch(row, 1);
}

void ItemPanelWidget::BuildButtonBar() {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 3, 6, 3);
  for (Item& item : panel_->Items()) {
    const std::string key = item.Key;
    if (item.Kind == ItemKind::kSpacer) {
      row->addStretch(1);
      continue;
    }
    auto* button = new QPushButton(this);
    button->setObjectName(Q(key));
    button->setIcon(ImageOf(item.Image));
    button->setMinimumWidth(Pixels(item.Width));
    QObject::connect(button, &QPushButton::clicked, this,
                     [this, key] { panel_->PressButton(key); });
    row->addWidget(button);
    widgets_[key] = button;
  }
}

void ItemPanelWidget::Reload() {
  for (Item& item : panel_->Items()) {
    auto found = widgets_.find(item.Key);
    if (found == widgets_.end() || found->second == nullptr) continue;
    QWidget* widget = found->second;
    const QSignalBlocker blocker(widget);
    widget->setToolTip(Q(item.ToolTipText));
    if (item.Kind != ItemKind::kLabel) widget->setEnabled(item.Enabled);
    if (auto caption = widgets_.find(item.Key + ":caption"); caption != widgets_.end()) {
      static_cast<QLabel*>(caption->second)->setText(Q(item.Caption));
    }
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
      box->setText(Q(item.Caption));
      box->setChecked(item.Checked);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      combo->clear();
      int chosen = -1;
      for (size_t i = 0; i < item.Entries.size(); ++i) {
        combo->addItem(Q(item.Entries[i].Caption), Q(item.Entries[i].Key));
        if (chosen < 0 && item.Entries[i].Key == item.Tag) chosen = static_cast<int>(i);
      }
      combo->setCurrentIndex(chosen);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      if (edit->text().toStdString() != item.Value) edit->setText(Q(item.Value));
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      button->setText(Q(item.Caption));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      label->setText(Q(item.Caption));
    }
  }
}

}  // namespace corvina
