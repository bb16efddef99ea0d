#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IFormView.h"

namespace corvina {

class frmHHC;
class ConsoleScreen;

// A line filter, when given, sees the tool's output line by line (without its line end) and
// says what is written for it: nothing (nullopt), the line or another text. Quiet runs show
// no progress figure.
struct HHCLogFiltering {
  std::function<std::optional<std::string>(std::string_view line)> filter;
  bool quiet = false;
};

// The command line's drawing of the compiler log window on the console screen: the tool's
// output as it arrives, in whole lines (each through the filter, when there is one), then
// "Done!"; the progress figure while the tool runs, cleared when the run ends.
class HHCConsoleView : public IFormView {
 public:
  using Filtering = HHCLogFiltering;

  HHCConsoleView(frmHHC& form, ConsoleScreen& screen, Filtering filtering = {});

  void Show(bool modal) override;
  void Hide() override {}
  void Refresh() override;
  void Unloaded() override;

 private:
  frmHHC* form_;
  ConsoleScreen* screen_;
  bool quiet_;
  uint64_t log_resets_ = 0;
  size_t printed_ = 0;  // bytes of the log already handed to the screen
  bool running_ = false;
};

}  // namespace corvina
