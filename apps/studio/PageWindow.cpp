#include "apps/studio/PageWindow.h"

#include <QPlainTextEdit>

namespace corvina {

PageWindow::PageWindow(std::filesystem::path file, QPlainTextEdit* editor, bool crlf)
    : page_(std::move(file)), editor_(editor), crlf_(crlf) {}

bool PageWindow::IsModified() {
  return editor_ && editor_->document()->isModified();
}

Status PageWindow::Save(bool force_overwrite) {
  if (!editor_) return Status::Ok();
  QString text = editor_->toPlainText();
  if (crlf_) text.replace("\n", "\r\n");
  page_.Edit(text.toStdString());
  Status saved = page_.Save(force_overwrite);
  if (saved.ok()) editor_->document()->setModified(false);
  return saved;
}

}  // namespace corvina
