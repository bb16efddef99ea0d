#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/IFormView.h"

namespace corvina {

class frmHHC;

// The command line's drawing of the compiler log window. Standard output gets exactly the
// tool's output as it arrives, then "Done!" (line ends as LF). The progress figure goes to
// standard error: redrawn in place on a terminal, else only the final figure once a run ends.
class HHCConsoleView : public IFormView {
 public:
  HHCConsoleView(frmHHC& form, std::FILE* out, std::FILE* err, bool err_is_terminal);

  void Show(bool modal) override;
  void Hide() override {}
  void Refresh() override;
  void Unloaded() override;

 private:
  void WriteOutput(std::string_view text);
  void ClearProgress();
  void DrawProgress();

  frmHHC* form_;
  std::FILE* out_;
  std::FILE* err_;
  bool err_is_terminal_;
  uint64_t log_resets_ = 0;
  size_t printed_ = 0;    // bytes of the log already written
  bool held_cr_ = false;  // a carriage return that may start a CRLF pair
  bool running_ = false;
  bool progress_shown_ = false;
  std::string progress_;  // the caption on screen
};

}  // namespace corvina
