#pragma once

#include <string>
#include <string_view>

#include "platform/IMessageBoxes.h"

namespace corvina {

// The console's message boxes, with one change: the log window's closing summary, which
// repeats every "HHC" line of the compiler's log, is shown as its first sentence and the
// number of warnings and errors, because the console has printed the log itself. Every other
// message passes unchanged.
class LogSummaryMessageBoxes : public IMessageBoxes {
 public:
  explicit LogSummaryMessageBoxes(IMessageBoxes& inner) : inner_(inner) {}
  Answer Show(const MessageBoxRequest& request) override;

  // The summary's text as the console shows it; other texts unchanged.
  static std::string Shorten(std::string_view text);

 private:
  IMessageBoxes& inner_;
};

}  // namespace corvina
