#pragma once

#include <QPointer>
#include <filesystem>

#include "shared/HostObjects.h"
#include "sitehost/MemoryPageWindow.h"

class QPlainTextEdit;

namespace corvina {

// A page open for editing: the host's page window over a text editor. Saving writes the
// editor's text through the page window of the site host (a whole new file, renamed over the
// old one), and clears the editor's modified mark.
class PageWindow : public IPageWindow {
 public:
  // crlf: the page's lines end with CR LF, which saving keeps.
  PageWindow(std::filesystem::path file, QPlainTextEdit* editor, bool crlf);

  bool IsModified() override;
  Status Save(bool force_overwrite) override;

  const std::filesystem::path& file() const { return page_.file(); }
  QPlainTextEdit* editor() const { return editor_; }

 private:
  MemoryPageWindow page_;
  QPointer<QPlainTextEdit> editor_;
  bool crlf_;
};

}  // namespace corvina
