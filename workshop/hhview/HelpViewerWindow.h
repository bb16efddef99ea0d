#pragma once

#include <QMainWindow>
#include <QString>
#include <string>

class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace corvina::workshop {

class ChmArchive;
class ChmBrowser;

// The help viewer's window: the file's contents tree, its keyword index and a search over
// its pages beside the page view, with Back, Forward and Home. Its caption is the help
// file's title.
class HelpViewerWindow : public QMainWindow {
 public:
  // topic: the page to open first ("" for the file's default topic).
  HelpViewerWindow(const ChmArchive& archive, const QString& caption, const QString& topic);

  ChmBrowser* browser() const { return browser_; }
  QTreeWidget* contents() const { return contents_; }
  QListWidget* index() const { return index_; }
  QListWidget* results() const { return results_; }
  // Lists the pages whose title or text holds every word of the query, through the file's
  // search index; a file compiled without one has its pages read instead. Returns how many.
  int Search(const QString& query);

 private:
  void FillContents();
  void FillIndex();
  QString DefaultTopic() const;
  void LoadSearchIndex();
  int ScanPages(const QString& query);

  struct SearchFiles {
    bool loaded = false;
    std::string index;  // /$FIftiMain
    std::string topics, urltbl, urlstr, strings;
  };
  SearchFiles search_;

  const ChmArchive* archive_;
  ChmBrowser* browser_ = nullptr;
  QTreeWidget* contents_ = nullptr;
  QLineEdit* index_filter_ = nullptr;
  QListWidget* index_ = nullptr;
  QLineEdit* query_ = nullptr;
  QListWidget* results_ = nullptr;
};

}  // namespace corvina::workshop
