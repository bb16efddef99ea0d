#include "apps/studio/StudioWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <map>

#include "apps/studio/CommandBarsView.h"
#include "apps/studio/PageWindow.h"
#include "platform/ISettingsStore.h"
#include "sitehost/FolderWeb.h"

namespace corvina {
namespace {

constexpr std::string_view kApplication = "Corvina";
constexpr std::string_view kSection = "Studio";
constexpr int kRecentSites = 8;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr const char kPageProperty[] = "corvinaPageWindow";

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The site-relative path of a page's address, or empty when it is not in the site.
std::string RelativePath(FolderWeb& web, const std::string& url) {
  const std::string reference = web.ProjectReference(url);
  return reference == url ? std::string() : reference;
}

void AddNavigation(FolderWeb& web, INavigationNode* node, QTreeWidgetItem* parent,
                   QTreeWidget* tree, int depth) {
  // The navigation may come from a page's links; a cycle would never end.
  if (depth > 64) return;
  for (INavigationNode* child : node->Children()) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, Q(child->Label()));
    const std::string path = child->File() ? RelativePath(web, child->Url()) : std::string();
    item->setData(0, kPathRole, Q(path));
    item->setToolTip(0, Q(path));
    AddNavigation(web, child, item, tree, depth + 1);
  }
}

}  // namespace

StudioWindow::StudioWindow(StudioApplication& application, ISettingsStore& settings)
    : application_(&application), settings_(&settings) {
  setObjectName("CorvinaStudio");
  setWindowTitle("Corvina Studio");
  pages_ = new QMdiArea(this);
  pages_->setObjectName("pages");
  pages_->setViewMode(QMdiArea::SubWindowView);
  setCentralWidget(pages_);

  auto* dock = new QDockWidget("Site", this);
  dock->setObjectName("siteDock");
  dock->setFeatures(QDockWidget::DockWidgetMovable);
  auto* tabs = new QTabWidget(dock);
  files_ = new QTreeWidget(tabs);
  files_->setObjectName("files");
  files_->setHeaderHidden(true);
  navigation_ = new QTreeWidget(tabs);
  navigation_->setObjectName("navigation");
  navigation_->setHeaderHidden(true);
  tabs->addTab(files_, "Files");
  tabs->addTab(navigation_, "Navigation");
  dock->setWidget(tabs);
  addDockWidget(Qt::LeftDockWidgetArea, dock);
  auto open_item = [this](QTreeWidgetItem* item) {
    const QString path = item->data(0, kPathRole).toString();
    if (!path.isEmpty()) OpenPage(path.toStdString());
  };
  connect(files_, &QTreeWidget::itemActivated, this, open_item);
  connect(navigation_, &QTreeWidget::itemActivated, this, open_item);

  BuildMenus();
  bars_view_ = new CommandBarsView(application.bars(), tools_menu_, standard_, this);
  // A command may have refreshed the site: its files and navigation are drawn again.
  bars_view_->after_click = [this] { ShowSite(); };
  statusBar()->showMessage("Open a site folder with File > Open Site");
  RestorePlacement();
}

StudioWindow::~StudioWindow() {
  // The page windows go with the widget base, after this object's members: they must not call
  // back into it then.
  for (QMdiSubWindow* window : pages_->subWindowList())
    disconnect(window, &QObject::destroyed, this, nullptr);
}

void StudioWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* open = file->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), "&Open Site...",
                                  this, [this] { ChooseSite(); });
  open->setShortcut(QKeySequence::Open);
  recent_menu_ = file->addMenu("Recent &Sites");
  recent_menu_->setObjectName("recentSites");
  file->addAction("&Close Site", this, [this] { CloseSite(); });
  file->addSeparator();
  QAction* save = file->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), "&Save Page",
                                  this, [this] { SavePage(); });
  save->setShortcut(QKeySequence::Save);
  file->addAction("Close &Page", this, [this] {
    if (QMdiSubWindow* window = pages_->activeSubWindow()) window->close();
  });
  file->addSeparator();
  QAction* quit = file->addAction("E&xit", this, [this] { close(); });
  quit->setShortcut(QKeySequence::Quit);
  FillRecentMenu();

  tools_menu_ = menuBar()->addMenu("&Tools");
  tools_menu_->setObjectName("Tools");
  QAction* refresh = tools_menu_->addAction("&Refresh Site", this, [this] {
    if (FolderWeb* web = application_->web()) {
      if (Status refreshed = web->Refresh(); !refreshed.ok()) Tell(Q(refreshed.description()));
      ShowSite();
    }
  });
  refresh->setShortcut(QKeySequence::Refresh);

  standard_ = addToolBar("Standard");
  standard_->setObjectName("Standard");
  standard_->addAction(open);
  standard_->addAction(save);
  standard_->addSeparator();
}

void StudioWindow::Tell(const QString& text) {
  statusBar()->showMessage(text);
  QMessageBox::warning(this, "Corvina Studio", text);
}

void StudioWindow::ChooseSite() {
  const QString folder = QFileDialog::getExistingDirectory(
      this, "Open Site", QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (folder.isEmpty()) return;
  if (Status opened = OpenSite(folder.toStdString()); !opened.ok()) {
    Tell(Q(opened.description()));
  }
}

Status StudioWindow::OpenSite(const std::filesystem::path& folder) {
  if (!ClosePages()) return Status::Ok();
  Status opened = application_->OpenSite(folder);
  if (!opened.ok()) return opened;
  RememberSite(application_->web()->folder());
  setWindowTitle("Corvina Studio - " + Q(application_->web()->folder().string()));
  ShowSite();
  // What the site host had to leave out is told once; the site still opens.
  QStringList problems;
  for (const Error& problem : application_->web()->Problems())
    problems << Q(problem.description);
  statusBar()->showMessage(problems.isEmpty() ? "Site opened" : problems.join("; "));
  return Status::Ok();
}

void StudioWindow::CloseSite() {
  if (!ClosePages()) return;
  application_->CloseSite();
  setWindowTitle("Corvina Studio");
  ShowSite();
}

void StudioWindow::ShowSite() {
  files_->clear();
  navigation_->clear();
  FolderWeb* web = application_->web();
  if (web == nullptr) return;
  std::error_code ec;
  if (!std::filesystem::is_directory(web->folder(), ec)) {
    statusBar()->showMessage("The site folder " + Q(web->folder().string()) + " is gone");
  }
  // The files as a tree of folders, in the site's order.
  std::map<std::string, QTreeWidgetItem*> folders;
  for (IWebFile* file : web->AllFiles()) {
    const std::string path = RelativePath(*web, file->Url());
    if (path.empty()) continue;
    QTreeWidgetItem* parent = nullptr;
    size_t start = 0;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
      const std::string folder = path.substr(0, slash);
      auto [it, added] = folders.try_emplace(folder, nullptr);
      if (added) {
        it->second = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(files_);
        it->second->setText(0, Q(path.substr(start, slash - start)));
        it->second->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
      }
      parent = it->second;
      start = slash + 1;
    }
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(files_);
    item->setText(0, Q(path.substr(start)));
    item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    item->setData(0, kPathRole, Q(path));
    item->setToolTip(0, Q(file->Title()));
  }
  AddNavigation(*web, web->RootNavigationNode(), nullptr, navigation_, 0);
  navigation_->expandAll();
}

PageWindow* StudioWindow::OpenPage(const std::string& relative_path) {
  FolderWeb* web = application_->web();
  if (web == nullptr) return nullptr;
  const std::filesystem::path file = web->folder() / relative_path;
  for (QMdiSubWindow* window : pages_->subWindowList()) {
    if (PageWindow* page = PageOf(window); page && page->file() == file) {
      pages_->setActiveSubWindow(window);
      return page;
    }
  }
  QFile in(QString::fromStdString(file.string()));
  if (!in.open(QIODevice::ReadOnly)) {
    Tell("The page " + Q(relative_path) + " cannot be opened: " + in.errorString());
    return nullptr;
  }
  const QByteArray bytes = in.readAll();
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder(bytes);
  auto* editor = new QPlainTextEdit();
  editor->setObjectName("page");
  // A page that is not UTF-8 would be changed by saving it from here: it is shown read-only.
  const bool editable = !decoder.hasError();
  const bool crlf = bytes.contains("\r\n");
  text.remove('\r');
  editor->setPlainText(text);
  editor->setReadOnly(!editable);
  editor->document()->setModified(false);
  QMdiSubWindow* window = pages_->addSubWindow(editor);
  window->setAttribute(Qt::WA_DeleteOnClose);
  const QString title = Q(relative_path) + (editable ? "" : " (read-only: not UTF-8)");
  window->setWindowTitle(title + "[*]");
  connect(editor->document(), &QTextDocument::modificationChanged, window,
          &QMdiSubWindow::setWindowModified);
  IPageWindow* page = web->window().AddPageWindow(std::make_unique<PageWindow>(file, editor, crlf));
  window->setProperty(kPageProperty, QVariant::fromValue(reinterpret_cast<quintptr>(page)));
  window->installEventFilter(this);
  connect(window, &QObject::destroyed, this, [this, page] {
    // A site closed meanwhile took its page windows with it.
    if (FolderWeb* site = application_->web()) site->window().ClosePageWindow(page);
  });
  window->resize(pages_->size() * 0.8);
  window->show();
  return static_cast<PageWindow*>(page);
}

PageWindow* StudioWindow::PageOf(QMdiSubWindow* window) {
  if (window == nullptr || application_->web() == nullptr) return nullptr;
  auto* page = reinterpret_cast<IPageWindow*>(window->property(kPageProperty).value<quintptr>());
  for (IPageWindow* open : application_->web()->window().PageWindows()) {
    if (open == page) return static_cast<PageWindow*>(page);
  }
  return nullptr;
}

void StudioWindow::SavePage() {
  PageWindow* page = PageOf(pages_->activeSubWindow());
  if (page == nullptr) return;
  if (Status saved = page->Save(true); !saved.ok()) Tell(Q(saved.description()));
}

bool StudioWindow::eventFilter(QObject* watched, QEvent* event) {
  // The close box of a page window asks about unsaved changes first.
  if (event->type() == QEvent::Close) {
    if (auto* window = qobject_cast<QMdiSubWindow*>(watched); window && !AskToSave(window)) {
      event->ignore();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool StudioWindow::AskToSave(QMdiSubWindow* window) {
  PageWindow* page = PageOf(window);
  if (page && page->IsModified()) {
    const auto answer = QMessageBox::question(
        this, "Corvina Studio", "Save the changes to " + window->windowTitle().remove("[*]") + "?",
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Yes) {
      if (Status saved = page->Save(true); !saved.ok()) {
        Tell(Q(saved.description()));
        return false;
      }
    }
    page->editor()->document()->setModified(false);
  }
  return true;
}

bool StudioWindow::ClosePage(QMdiSubWindow* window) {
  if (!AskToSave(window)) return false;
  window->removeEventFilter(this);
  window->close();
  return true;
}

bool StudioWindow::ClosePages() {
  for (QMdiSubWindow* window : pages_->subWindowList()) {
    if (!ClosePage(window)) return false;
  }
  return true;
}

void StudioWindow::closeEvent(QCloseEvent* event) {
  if (!ClosePages()) {
    event->ignore();
    return;
  }
  SavePlacement();
  event->accept();
}

void StudioWindow::RememberSite(const std::filesystem::path& folder) {
  std::vector<std::string> sites = RecentSites();
  std::erase(sites, folder.string());
  sites.insert(sites.begin(), folder.string());
  if (sites.size() > kRecentSites) sites.resize(kRecentSites);
  for (size_t i = 0; i < sites.size(); ++i) {
    // The list is a convenience: a store that refuses it costs only the list.
    static_cast<void>(
        settings_->SaveSetting(kApplication, kSection, "SITE" + std::to_string(i + 1), sites[i]));
  }
  FillRecentMenu();
}

std::vector<std::string> StudioWindow::RecentSites() const {
  std::vector<std::string> sites;
  for (int i = 1; i <= kRecentSites; ++i) {
    Result<std::string> site =
        settings_->GetSetting(kApplication, kSection, "SITE" + std::to_string(i), "");
    if (site.ok() && !site->empty()) sites.push_back(*site);
  }
  return sites;
}

void StudioWindow::FillRecentMenu() {
  recent_menu_->clear();
  for (const std::string& site : RecentSites()) {
    recent_menu_->addAction(Q(site), this, [this, site] {
      if (Status opened = OpenSite(site); !opened.ok()) Tell(Q(opened.description()));
    });
  }
  recent_menu_->setEnabled(!recent_menu_->actions().isEmpty());
}

void StudioWindow::RestorePlacement() {
  auto number = [this](std::string_view key, int fallback) {
    Result<std::string> text = settings_->GetSetting(kApplication, kSection, key, "");
    bool ok = false;
    const int value = text.ok() ? QString::fromStdString(*text).toInt(&ok) : 0;
    return ok ? value : fallback;
  };
  resize(number("WIDTH", 900), number("HEIGHT", 600));
  const int left = number("LEFT", -1);
  const int top = number("TOP", -1);
  if (left >= 0 && top >= 0) move(left, top);
}

void StudioWindow::SavePlacement() {
  const std::pair<std::string_view, int> values[] = {
      {"LEFT", x()}, {"TOP", y()}, {"WIDTH", width()}, {"HEIGHT", height()}};
  for (const auto& [key, value] : values) {
    // Placement is a convenience: a store that refuses it costs only the placement.
    static_cast<void>(settings_->SaveSetting(kApplication, kSection, key, std::to_string(value)));
  }
}

}  // namespace corvina
