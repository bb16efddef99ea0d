#pragma once

#include <functional>

#include "platform/IMessageLoop.h"

namespace corvina {

// The console front end's message loop. A terminal has no window messages; what it does have
// is the user's Ctrl-C. Children started by the process runner lead process groups of their
// own and do not see it, so once CatchInterrupts() has run, SIGINT, SIGTERM and SIGHUP (the
// terminal closed) are noted and the next DoEvents hands them to on_interrupt (which closes
// the log window, ending the tool).
class ConsoleMessageLoop : public IMessageLoop {
 public:
  ~ConsoleMessageLoop() override;

  void DoEvents() override;
  unsigned long calls() const { return calls_; }

  // Installs the handlers; the previous ones come back when this loop is destroyed.
  void CatchInterrupts();
  // Called from DoEvents after an interrupt arrived, with the signal's number.
  std::function<void(int signal_number)> on_interrupt;
  // Called at every DoEvents, first: the front end writes out the output it holds, as a
  // window would repaint.
  std::function<void()> on_events;

 private:
  unsigned long calls_ = 0;
  bool catching_ = false;
};

}  // namespace corvina
