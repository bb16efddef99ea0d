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

// Ctrl-C (or a SIGTERM, or the terminal hanging up) reaches only our own process group; the
// console loop turns it into a cancel of the child, which runs in a group of its own.
TEST(ConsoleMessageLoopTest, InterruptCancelsTheRunningChild) {
  for (const int sent : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sent);
    FakeMessageBoxes boxes;
    ConsoleMessageLoop loop;
    PosixProcessRunner runner;
    ScopedPlatform scoped(
        Platform{.message_boxes = &boxes, .processes = &runner, .message_loop = &loop});

    CSpawnConsoleApp app;
    int interrupts = 0;
    loop.CatchInterrupts();
    loop.on_interrupt = [&](int signal_number) {
      EXPECT_EQ(signal_number, sent);
      ++interrupts;
      app.Cancel();
    };
    app.OnProcessStarted = [sent] { ::raise(sent); };
    const std::string child = std::string(CORVINA_BIN_DIR) + "/corvina_test_child";
    EXPECT_EQ(app.ExecuteApp("\"" + child + "\" sleep", ""), 128 + SIGTERM);
    EXPECT_EQ(interrupts, 1);
  }
}

}  // namespace
}  // namespace corvina
