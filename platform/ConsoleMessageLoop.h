#pragma once

#include "platform/IMessageLoop.h"

namespace corvina {

// The console front end's message loop: a terminal has no window messages, so DoEvents only
// counts how often it was called.
class ConsoleMessageLoop : public IMessageLoop {
 public:
  void DoEvents() override { ++calls_; }
  unsigned long calls() const { return calls_; }

 private:
  unsigned long calls_ = 0;
};

}  // namespace corvina
