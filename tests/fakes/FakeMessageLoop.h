#pragma once

#include <functional>

#include "platform/IMessageLoop.h"

namespace corvina {

// Counts DoEvents calls and runs a test's action on each, as a user's click would arrive.
class FakeMessageLoop : public IMessageLoop {
 public:
  int calls = 0;
  std::function<void(int call)> on_events;  // given the call's number, from 1

  void DoEvents() override {
    ++calls;
    if (on_events) on_events(calls);
  }
};

}  // namespace corvina
