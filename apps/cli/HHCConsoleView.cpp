#include "apps/cli/HHCConsoleView.h"

#include "compiler/frmHHC.h"

namespace corvina {

HHCConsoleView::HHCConsoleView(frmHHC& form, std::FILE* out, std::FILE* err, bool err_is_terminal,
                               Filtering filtering)
    : form_(&form),
      out_(out),
      err_(err),
      err_is_terminal_(err_is_terminal && !filtering.quiet),
      filtering_(std::move(filtering)) {
  log_resets_ = form.LogResets();
  printed_ = form.txtOutput().size();
}

void HHCConsoleView::Show(bool) {
  Refresh();
}

void HHCConsoleView::WriteOutput(std::string_view text) {
  // CRLF becomes LF; a CR at the end waits for what follows it.
  std::string converted;
  converted.reserve(text.size() + 1);
  for (char c : text) {
    if (held_cr_) {
      held_cr_ = false;
      if (c != '\n') converted += '\r';
    }
    if (c == '\r') {
      held_cr_ = true;
    } else {
      converted += c;
    }
  }
  if (converted.empty()) return;
  ClearProgress();
  if (filtering_.filter) {
    WriteFiltered(converted, false);
  } else {
    std::fwrite(converted.data(), 1, converted.size(), out_);
  }
  std::fflush(out_);
}

void HHCConsoleView::WriteFiltered(std::string_view text, bool finished) {
  pending_ += text;
  size_t start = 0;
  for (size_t end = pending_.find('\n'); end != std::string::npos;
       end = pending_.find('\n', start)) {
    if (std::optional<std::string> kept =
            filtering_.filter(std::string_view(pending_).substr(start, end - start))) {
      std::fprintf(out_, "%s\n", kept->c_str());
    }
    start = end + 1;
  }
  pending_.erase(0, start);
  if (finished && !pending_.empty()) {
    if (std::optional<std::string> kept = filtering_.filter(pending_)) {
      std::fprintf(out_, "%s\n", kept->c_str());
    }
    pending_.clear();
  }
}

void HHCConsoleView::ClearProgress() {
  if (!err_is_terminal_ || !progress_shown_) return;
  std::fputs("\r\033[K", err_);
  progress_shown_ = false;
}

void HHCConsoleView::DrawProgress() {
  if (!err_is_terminal_ || form_->elaProgressCaption.empty()) return;
  std::fprintf(err_, "\r\033[K%s", form_->elaProgressCaption.c_str());
  std::fflush(err_);
  progress_shown_ = true;
}

void HHCConsoleView::Refresh() {
  if (form_ == nullptr) return;
  const std::string& log = form_->txtOutput();
  if (form_->LogResets() != log_resets_ || log.size() < printed_) {
    // The log was started afresh ("Starting ..." when the tool starts): that line is the
    // window's own, not the tool's, so only what follows it is written.
    log_resets_ = form_->LogResets();
    printed_ = log.size();
    held_cr_ = false;
  } else if (log.size() > printed_) {
    WriteOutput(std::string_view(log).substr(printed_));
    printed_ = log.size();
  }

  if (form_->MousePointerBusy) {
    running_ = true;
    if (form_->elaProgressCaption != progress_ || !progress_shown_) {
      progress_ = form_->elaProgressCaption;
      DrawProgress();
    }
  } else if (running_) {
    // The run ended: finish the last line and leave the final figure.
    running_ = false;
    if (held_cr_) {
      held_cr_ = false;
      if (filtering_.filter) {
        pending_ += '\r';
      } else {
        std::fputc('\r', out_);
      }
    }
    if (filtering_.filter) {
      WriteFiltered("", true);
    } else if (printed_ > 0) {
      std::fputc('\n', out_);
    }
    std::fflush(out_);
    ClearProgress();
    if (!form_->elaProgressCaption.empty() && !filtering_.quiet) {
      std::fprintf(err_, "%s\n", form_->elaProgressCaption.c_str());
      std::fflush(err_);
    }
    progress_ = form_->elaProgressCaption;
  }
}

void HHCConsoleView::Unloaded() {
  ClearProgress();
  form_ = nullptr;
}

}  // namespace corvina
