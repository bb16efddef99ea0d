#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "apps/studio/StudioApplication.h"

class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvina {

class CommandBarsView;
class ISettingsStore;
class PageWindow;

// The desktop host's main window: a small site editor. File > Open Site opens a folder as the
// site (the last ones are offered under Recent Sites); the side panel lists the site's files
// and its navigation; a page opens in a window of its own, where it can be edited and saved.
// The "Tools" menu and the "Standard" toolbar show the command bars that add-ins fill.
class StudioWindow : public QMainWindow {
 public:
  // settings: where the recent sites and the window's placement are kept.
  StudioWindow(StudioApplication& application, ISettingsStore& settings);
  ~StudioWindow() override;

  Status OpenSite(const std::filesystem::path& folder);
  // Opens a page of the site (a site-relative path) in a page window, or shows it if open.
  PageWindow* OpenPage(const std::string& relative_path);
  // Draws the site's files and navigation again (after the site was refreshed).
  void ShowSite();
  std::vector<std::string> RecentSites() const;
  QMenu* tools_menu() const { return tools_menu_; }
  QToolBar* standard_toolbar() const { return standard_; }
  QMdiArea* pages() const { return pages_; }
  QTreeWidget* files_tree() const { return files_; }
  QTreeWidget* navigation_tree() const { return navigation_; }
  // Tells the user (a message box and the status bar).
  void Tell(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void ChooseSite();
  void CloseSite();
  void RememberSite(const std::filesystem::path& folder);
  void FillRecentMenu();
  void SavePage();
  // Asks about every modified page; false when the user cancels.
  bool ClosePages();
  bool ClosePage(QMdiSubWindow* window);
  // Offers to save a modified page; false when the user cancels.
  bool AskToSave(QMdiSubWindow* window);
  PageWindow* PageOf(QMdiSubWindow* window);
  void RestorePlacement();
  void SavePlacement();

  StudioApplication* application_;
  ISettingsStore* settings_;
  QMdiArea* pages_ = nullptr;
  QTreeWidget* files_ = nullptr;
  QTreeWidget* navigation_ = nullptr;
  QMenu* tools_menu_ = nullptr;
  QMenu* recent_menu_ = nullptr;
  QToolBar* standard_ = nullptr;
  CommandBarsView* bars_view_ = nullptr;
};

}  // namespace corvina
