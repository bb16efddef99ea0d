#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "platform/IFormView.h"

namespace corvina {

class frmHHC;

// The command line's drawing of the compiler log window. Standard output gets exactly the
// tool's output as it arrives, then "Done!" (line ends as LF). The progress figure goes to
// standard error: redrawn in place on a terminal, else only the final figure once a run ends.
//
// A line filter, when given, sees the tool's output line by line (without its line end) and
// says what is written for it: nothing (nullopt), the line or another text. Quiet runs show
// no progress figure.
struct HHCLogFiltering {
  std::function<std::optional<std::string>(std::string_view line)> filter;
  bool quiet = false;
};

class HHCConsoleView : public IFormView {
 public:
  using Filtering = HHCLogFiltering;

  HHCConsoleView(frmHHC& form, std::FILE* out, std::FILE* err, bool err_is_terminal,
                 Filtering filtering = {});

  void Show(bool modal) override;
  void Hide() override {}
  void Refresh() override;
  void Unloaded() override;

 private:
  void WriteOutput(std::string_view text);
  void WriteFiltered(std::string_view text, bool finished);
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
  Filtering filtering_;
  std::string pending_;  // the start of a line the filter has not seen yet
};

}  // namespace corvina
