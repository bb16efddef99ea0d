#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QAction;
class QMenu;
class QToolBar;

namespace corvina {

class MemoryCommandBars;
class MemoryCommandBarControls;

// Draws the command-bar model: the controls of its "Tools" bar at the end of the Tools menu,
// those of its "Standard" bar at the end of the toolbar. A pop-up becomes a submenu (on the
// toolbar, a button that opens it), a button an action whose trigger raises its Click. The
// drawing follows every change of the model, after the event that made it.
class CommandBarsView : public QObject {
 public:
  CommandBarsView(MemoryCommandBars& bars, QMenu* tools, QToolBar* standard, QObject* parent);
  ~CommandBarsView() override;

  // Runs after each click that reached the model (the host redraws what the command changed).
  std::function<void()> after_click;

  // Draws the model again now.
  void Rebuild();

 private:
  void ScheduleRebuild();
  void AddControls(MemoryCommandBarControls& controls, QMenu* menu, const QString& path);

  MemoryCommandBars* bars_;
  QPointer<QMenu> tools_;
  QPointer<QToolBar> standard_;
  QList<QPointer<QAction>> added_;  // what this view put into the menu and the toolbar
  bool scheduled_ = false;
};

}  // namespace corvina
