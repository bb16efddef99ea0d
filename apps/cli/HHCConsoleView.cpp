#include "apps/cli/HHCConsoleView.h"

#include "apps/cli/ConsoleScreen.h"
#include "compiler/frmHHC.h"

namespace corvina {

HHCConsoleView::HHCConsoleView(frmHHC& form, ConsoleScreen& screen, Filtering filtering)
    : form_(&form), screen_(&screen), quiet_(filtering.quiet) {
  screen.SetLineFilter(std::move(filtering.filter));
  log_resets_ = form.LogResets();
  printed_ = form.txtOutput().size();
}

void HHCConsoleView::Show(bool) {
  Refresh();
}

void HHCConsoleView::Refresh() {
  if (form_ == nullptr) return;
  const std::string& log = form_->txtOutput();
  if (form_->LogResets() != log_resets_ || log.size() < printed_) {
    // The log was started afresh ("Starting ..." when the tool starts): that line is the
    // window's own, not the tool's, so only what follows it is written.
    log_resets_ = form_->LogResets();
    printed_ = log.size();
  } else if (log.size() > printed_) {
    screen_->WriteLog(std::string_view(log).substr(printed_));
    printed_ = log.size();
  }

  if (form_->MousePointerBusy) {
    running_ = true;
    if (!quiet_) screen_->ShowProgress(form_->elaProgressCaption);
  } else if (running_) {
    // The run ended: its last line ("Done!") is written, and the figure goes.
    running_ = false;
    screen_->EndLog();
    screen_->ClearProgress();
  }
}

void HHCConsoleView::Unloaded() {
  if (running_) {
    screen_->EndLog();
    screen_->ClearProgress();
  }
  form_ = nullptr;
}

}  // namespace corvina
