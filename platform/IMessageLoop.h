#pragma once

namespace corvina {

// The user interface's message loop. DoEvents handles every pending message (repaints, clicks)
// and returns; code that waits on something slow calls it often so that the windows stay
// alive. The front end supplies it: a console has nothing to pump, the GUI runs its own events.
class IMessageLoop {
 public:
  virtual ~IMessageLoop() = default;
  virtual void DoEvents() = 0;
};

}  // namespace corvina
