#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "compiler/CSpawnConsoleApp.h"
#include "platform/ConsoleMessageLoop.h"
#include "platform/Platform.h"
#include "platform/PosixProcessRunner.h"
#include "tests/fakes/FakeMessageBoxes.h"

namespace corvina {
namespace {

// Ctrl-C reaches only our own process group; the console loop turns it into a cancel of the
// child, which runs in a group of its own.
TEST(ConsoleMessageLoopTest, InterruptCancelsTheRunningChild) {
  FakeMessageBoxes boxes;
  ConsoleMessageLoop loop;
  PosixProcessRunner runner;
  Platform platform;
  platform.message_boxes = &boxes;
  platform.message_loop = &loop;
  platform.processes = &runner;
  ScopedPlatform scoped(platform);

  CSpawnConsoleApp app;
  int interrupts = 0;
  loop.CatchInterrupts();
  loop.on_interrupt = [&](int signal_number) {
    EXPECT_EQ(signal_number, SIGINT);
    ++interrupts;
    app.Cancel();
  };
  app.OnProcessStarted = [] { ::raise(SIGINT); };
  const std::string child = std::string(CORVINA_BIN_DIR) + "/corvina_test_child";
  EXPECT_EQ(app.ExecuteApp("\"" + child + "\" sleep", ""), 128 + SIGTERM);
  EXPECT_EQ(interrupts, 1);
}

}  // namespace
}  // namespace corvina
