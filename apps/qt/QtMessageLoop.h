#pragma once

#include "platform/IMessageLoop.h"

namespace corvina {

// The GUI's message loop: DoEvents handles Qt's pending events (repaints, clicks, timers).
class QtMessageLoop : public IMessageLoop {
 public:
  void DoEvents() override;
};

}  // namespace corvina
