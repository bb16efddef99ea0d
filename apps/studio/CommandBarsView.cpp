#include "apps/studio/CommandBarsView.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "sitehost/MemoryCommandBars.h"

namespace corvina {
namespace {

// The host's images for the image numbers that add-ins use.
QIcon FaceIcon(int face_id) {
  QStyle* style = QApplication::style();
  switch (face_id) {
    case 2138:
      return style->standardIcon(QStyle::SP_DriveCDIcon);
    case 983:
      return style->standardIcon(QStyle::SP_DialogHelpButton);
    default:
      return {};
  }
}

}  // namespace

CommandBarsView::CommandBarsView(MemoryCommandBars& bars, QMenu* tools, QToolBar* standard,
                                 QObject* parent)
    : QObject(parent), bars_(&bars), tools_(tools), standard_(standard) {
  bars.on_changed = [this] { ScheduleRebuild(); };
  Rebuild();
}

CommandBarsView::~CommandBarsView() {
  bars_->on_changed = nullptr;
}

void CommandBarsView::ScheduleRebuild() {
  // A click may change the bars while its own menu is still open: draw after the event.
  if (scheduled_) return;
  scheduled_ = true;
  QTimer::singleShot(0, this, [this] { Rebuild(); });
}

void CommandBarsView::AddControls(MemoryCommandBarControls& controls, QMenu* menu,
                                  const QString& path) {
  for (const auto& control : controls.controls()) {
    if (!control->Visible()) continue;
    const QString caption = QString::fromStdString(control->Caption());
    const QString name = path + "/" + caption;
    if (control->Type() == MsoControlType::msoControlPopup) {
      QMenu* submenu = menu->addMenu(FaceIcon(control->face_id()), caption);
      submenu->setObjectName(name);
      submenu->menuAction()->setObjectName(name);
      AddControls(*control->children(), submenu, name);
      continue;
    }
    QAction* action = menu->addAction(FaceIcon(control->face_id()), caption);
    action->setObjectName(name);
    std::weak_ptr<MemoryCommandBarControl> weak = control;
    connect(action, &QAction::triggered, this, [this, weak] {
      if (auto button = weak.lock()) {
        button->Click();
        if (after_click) after_click();
      }
    });
  }
}

void CommandBarsView::Rebuild() {
  scheduled_ = false;
  for (const QPointer<QAction>& action : added_) {
    if (!action) continue;
    if (tools_) tools_->removeAction(action);
    if (standard_) standard_->removeAction(action);
    if (QMenu* popup = action->menu()) popup->deleteLater();
    action->deleteLater();
  }
  added_.clear();
  if (MemoryCommandBar* bar = bars_->Find("Tools"); bar && tools_) {
    const QList<QAction*> before = tools_->actions();
    if (!bar->controls().controls().empty()) tools_->addSeparator();
    AddControls(bar->controls(), tools_, "Tools");
    for (QAction* action : tools_->actions()) {
      if (!before.contains(action)) added_ << action;
    }
  }
  if (MemoryCommandBar* bar = bars_->Find("Standard"); bar && standard_) {
    // The controls are drawn into a holder menu, whose actions then move to the toolbar.
    QMenu holder;
    AddControls(bar->controls(), &holder, "Standard");
    for (QAction* action : holder.actions()) {
      if (QMenu* popup = action->menu()) {
        auto* button = new QToolButton(standard_);
        button->setObjectName(action->objectName());
        button->setText(action->text());
        popup->setParent(button, popup->windowFlags());
        button->setMenu(popup);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        added_ << standard_->addWidget(button);
      } else {
        action->setParent(this);
        standard_->addAction(action);
        added_ << action;
      }
    }
  }
}

}  // namespace corvina
