#include "workshop/hhview/HelpViewerWindow.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/TextEncoding.h"
#include "sitehost/SitemapOutline.h"
#include "workshop/chm/ChmFullTextSearch.h"
#include "workshop/common/ChmArchive.h"
#include "workshop/hhview/ChmBrowser.h"

namespace corvina::workshop {
namespace {

constexpr int kAddressRole = Qt::UserRole + 1;
constexpr int kMaxResults = 500;
// The search files are read whole; larger ones are taken for damage.
constexpr size_t kMaxSearchFileBytes = size_t{1} << 30;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QString SystemFile(const ChmArchive& archive, uint16_t code) {
  const std::string name = archive.SystemText(code);
  if (name.empty()) return {};
  return name.front() == '/' ? Q(name) : "/" + Q(name);
}

// The visible text of a page, roughly: tags, scripts and styles dropped, entities kept.
QString PageText(const QByteArray& html) {
  QString text = QString::fromUtf8(html);
  static const QRegularExpression hidden(
      "<(script|style)\\b.*?</\\1>",
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression tag("<[^>]*>");
  text.remove(hidden);
  text.replace(tag, " ");
  return text;
}

QString PageTitle(const QByteArray& html) {
  static const QRegularExpression title(
      "<title[^>]*>(.*?)</title>",
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = title.match(QString::fromUtf8(html));
  return match.hasMatch() ? match.captured(1).simplified() : QString();
}

}  // namespace

HelpViewerWindow::HelpViewerWindow(const ChmArchive& archive, const QString& caption,
                                   const QString& topic)
    : archive_(&archive) {
  setObjectName("HelpViewer");
  setWindowTitle(caption);
  auto* splitter = new QSplitter(this);
  auto* tabs = new QTabWidget(splitter);
  tabs->setObjectName("navigationTabs");

  contents_ = new QTreeWidget(tabs);
  contents_->setObjectName("contents");
  contents_->setHeaderHidden(true);
  tabs->addTab(contents_, "Contents");

  auto* index_page = new QWidget(tabs);
  auto* index_column = new QVBoxLayout(index_page);
  index_filter_ = new QLineEdit(index_page);
  index_filter_->setPlaceholderText("Type the keyword to find");
  index_ = new QListWidget(index_page);
  index_->setObjectName("index");
  index_column->addWidget(index_filter_);
  index_column->addWidget(index_);
  tabs->addTab(index_page, "Index");

  auto* search_page = new QWidget(tabs);
  auto* search_column = new QVBoxLayout(search_page);
  query_ = new QLineEdit(search_page);
  query_->setObjectName("query");
  query_->setPlaceholderText("Words to search for, then Enter");
  results_ = new QListWidget(search_page);
  results_->setObjectName("results");
  search_column->addWidget(query_);
  search_column->addWidget(results_);
  tabs->addTab(search_page, "Search");

  browser_ = new ChmBrowser(archive, splitter);
  browser_->setObjectName("page");
  splitter->addWidget(tabs);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({240, 600});
  setCentralWidget(splitter);

  QToolBar* tools = addToolBar("Navigation");
  QAction* back = tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), "Back");
  QAction* forward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward), "Forward");
  QAction* home = tools->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), "Home");
  connect(back, &QAction::triggered, browser_, &QTextBrowser::backward);
  connect(forward, &QAction::triggered, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
  back->setEnabled(false);
  forward->setEnabled(false);
  connect(home, &QAction::triggered, this,
          [this] { browser_->setSource(ChmBrowser::AddressOf(DefaultTopic())); });

  auto open = [this](const QString& address) {
    if (!address.isEmpty()) browser_->setSource(ChmBrowser::AddressOf(address));
  };
  connect(contents_, &QTreeWidget::itemActivated, this,
          [open](QTreeWidgetItem* item) { open(item->data(0, kAddressRole).toString()); });
  connect(contents_, &QTreeWidget::itemClicked, this,
          [open](QTreeWidgetItem* item) { open(item->data(0, kAddressRole).toString()); });
  connect(index_, &QListWidget::itemActivated, this,
          [open](QListWidgetItem* item) { open(item->data(kAddressRole).toString()); });
  connect(results_, &QListWidget::itemActivated, this,
          [open](QListWidgetItem* item) { open(item->data(kAddressRole).toString()); });
  connect(index_filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    for (int i = 0; i < index_->count(); ++i) {
      QListWidgetItem* item = index_->item(i);
      if (item->text().startsWith(text, Qt::CaseInsensitive)) {
        index_->setCurrentItem(item);
        index_->scrollToItem(item, QAbstractItemView::PositionAtTop);
        break;
      }
    }
  });
  connect(query_, &QLineEdit::returnPressed, this, [this] { Search(query_->text()); });

  FillContents();
  FillIndex();
  resize(900, 620);
  browser_->setSource(ChmBrowser::AddressOf(topic.isEmpty() ? DefaultTopic() : topic));
}

QString HelpViewerWindow::DefaultTopic() const {
  const std::string topic = archive_->SystemText(2);
  if (!topic.empty()) return Q(topic);
  for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
    const QString address = (*it)->data(0, kAddressRole).toString();
    if (!address.isEmpty()) return address;
  }
  return "index.html";
}

void HelpViewerWindow::FillContents() {
  const QString file = SystemFile(*archive_, 0);
  if (file.isEmpty()) return;
  const QByteArray bytes = browser_->FileBytes(file);
  const std::vector<sitehost::SitemapEntry> entries =
      sitehost::ParseSitemap(std::string_view(bytes.constData(), bytes.size()));
  std::vector<QTreeWidgetItem*> items;
  items.reserve(entries.size());
  for (const sitehost::SitemapEntry& entry : entries) {
    // An entry's parent always comes before it; anything else is damage and goes to the top.
    QTreeWidgetItem* parent = entry.parent >= 0 && static_cast<size_t>(entry.parent) < items.size()
                                  ? items[static_cast<size_t>(entry.parent)]
                                  : nullptr;
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
    item->setText(0, Q(entry.name));
    if (entry.has_local) item->setData(0, kAddressRole, Q(entry.local));
    items.push_back(item);
  }
  contents_->expandToDepth(0);
}

void HelpViewerWindow::FillIndex() {
  const QString file = SystemFile(*archive_, 1);
  if (file.isEmpty()) return;
  const QByteArray bytes = browser_->FileBytes(file);
  for (const sitehost::SitemapEntry& entry :
       sitehost::ParseSitemap(std::string_view(bytes.constData(), bytes.size()))) {
    auto* item = new QListWidgetItem(Q(entry.name), index_);
    if (entry.has_local) item->setData(kAddressRole, Q(entry.local));
  }
  index_->sortItems();
}

void HelpViewerWindow::LoadSearchIndex() {
  if (search_.loaded) return;
  search_.loaded = true;
  const auto read = [this](std::string_view name) {
    Result<std::string> bytes = archive_->ReadFile(name, kMaxSearchFileBytes);
    return bytes.ok() ? std::move(*bytes) : std::string();
  };
  search_.index = read("/$FIftiMain");
  search_.topics = read("/#TOPICS");
  search_.urltbl = read("/#URLTBL");
  search_.urlstr = read("/#URLSTR");
  search_.strings = read("/#STRINGS");
}

int HelpViewerWindow::Search(const QString& query) {
  results_->clear();
  const std::vector<std::string> words = chm::FullTextQueryWords(query.toStdString());
  if (words.empty()) return 0;
  LoadSearchIndex();
  const chm::ChmFullTextReader reader(search_.index);
  if (!reader.valid()) return ScanPages(query);
  std::vector<uint32_t> hits = reader.Topics(words.front());
  for (size_t i = 1; i < words.size() && !hits.empty(); ++i) {
    const std::vector<uint32_t> more = reader.Topics(words[i]);
    std::vector<uint32_t> both;
    std::set_intersection(hits.begin(), hits.end(), more.begin(), more.end(),
                          std::back_inserter(both));
    hits = std::move(both);
  }
  int found = 0;
  for (uint32_t topic : hits) {
    const std::optional<chm::ChmTopic> page =
        chm::FindTopic(topic, search_.topics, search_.urltbl, search_.urlstr, search_.strings);
    if (!page) continue;
    const QString title = Q(DecodeUtf8OrWindows1252(page->title)).simplified();
    auto* item = new QListWidgetItem(title.isEmpty() ? Q(page->page) : title, results_);
    item->setData(kAddressRole, "/" + Q(page->page));
    if (++found == kMaxResults) break;
  }
  return found;
}

int HelpViewerWindow::ScanPages(const QString& query) {
  const QStringList words = query.simplified().split(' ', Qt::SkipEmptyParts);
  if (words.isEmpty()) return 0;
  int found = 0;
  for (const ChmEntry& entry : archive_->entries()) {
    const QString name = Q(entry.name);
    if (!name.endsWith(".htm", Qt::CaseInsensitive) &&
        !name.endsWith(".html", Qt::CaseInsensitive)) {
      continue;
    }
    const QByteArray html = browser_->FileBytes(name);
    const QString text = PageText(html);
    bool all = true;
    for (const QString& word : words)
      all = all && text.contains(word, Qt::CaseInsensitive);
    if (!all) continue;
    const QString title = PageTitle(html);
    auto* item = new QListWidgetItem(title.isEmpty() ? name.mid(1) : title, results_);
    item->setData(kAddressRole, name);
    if (++found == kMaxResults) break;
  }
  return found;
}

}  // namespace corvina::workshop
