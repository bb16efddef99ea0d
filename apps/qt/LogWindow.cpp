#include "apps/qt/LogWindow.h"

#include <QFont>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "apps/qt/FormWindow.h"
#include "apps/qt/ItemPanelWidget.h"
#include "compiler/frmHHC.h"

namespace corvina {
namespace {

// What the log window has drawn so far, so that each redraw adds only the new text.
struct LogState {
  uint64_t resets = 0;
  size_t shown = 0;
  bool busy = false;
};

QString LogText(std::string_view text) {
  QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  out.remove('\r');
  return out;
}

}  // namespace

FormWindow* MakeLogWindow(frmHHC& form, QWidget* owner) {
  auto* window = new FormWindow(form, owner);  // deleted by its owner or by the view
  auto* column = new QVBoxLayout(window);
  column->setContentsMargins(6, 6, 6, 6);
  auto* log = new QPlainTextEdit(window);
  log->setObjectName("txtOutput");
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  column->addWidget(log, 1);
  auto* row = new QHBoxLayout();
  auto* progress = new QProgressBar(window);
  progress->setObjectName("elaProgress");
  progress->setRange(0, 100);
  progress->setTextVisible(true);
  row->addWidget(progress, 1);
  auto* buttons = new ItemPanelWidget(form.suiButtons, ItemPanelWidget::Layout::kButtonBar, window);
  buttons->setObjectName("suiButtons");
  buttons->layout()->setContentsMargins(0, 0, 0, 0);
  row->addWidget(buttons);
  column->addLayout(row);

  auto state = std::make_shared<LogState>();
  window->on_refresh = [&form, window, log, progress, buttons, state] {
    if (!form.IsLoaded()) return;
    const std::string& text = form.txtOutput();
    if (state->resets != form.LogResets() || state->shown > text.size()) {
      state->resets = form.LogResets();
      state->shown = 0;
      log->clear();
    }
    if (state->shown < text.size()) {
      QScrollBar* bar = log->verticalScrollBar();
      const bool following = bar->value() == bar->maximum();
      QTextCursor end(log->document());
      end.movePosition(QTextCursor::End);
      end.insertText(LogText(std::string_view(text).substr(state->shown)));
      state->shown = text.size();
      if (following) bar->setValue(bar->maximum());
    }
    progress->setValue(form.elaProgressValue);
    progress->setFormat(QString::fromStdString(form.elaProgressCaption));
    buttons->Reload();
    if (form.MousePointerBusy != state->busy) {
      state->busy = form.MousePointerBusy;
      if (state->busy) {
        window->setCursor(Qt::WaitCursor);
      } else {
        window->unsetCursor();
      }
    }
  };
  return window;
}

}  // namespace corvina
