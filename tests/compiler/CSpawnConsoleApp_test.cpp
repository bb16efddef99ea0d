#include "compiler/CSpawnConsoleApp.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/PosixProcessRunner.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeMessageLoop.h"
#include "tests/fakes/FakeProcessRunner.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

const std::string kChild = std::string(CORVINA_BIN_DIR) + "/corvina_test_child";

// A runner with its events recorded: "started" and each piece of output, in order.
class SpawnTest : public ::testing::Test {
 protected:
  SpawnTest() : platform_(MakePlatform()) {
    app_.OnProcessStarted = [this] { events_.push_back("<started>"); };
    app_.OnProcessOutputs = [this](std::string_view text) { events_.emplace_back(text); };
  }

  Platform MakePlatform() {
    Platform platform;
    platform.message_boxes = &boxes_;
    platform.message_loop = &loop_;
    platform.processes = &runner_;
    return platform;
  }

  int32_t RunChild(const std::string& arguments) {
    return app_.ExecuteApp("\"" + kChild + "\" " + arguments, "");
  }

  std::string Joined() const {
    std::string all;
    for (size_t i = 1; i < events_.size(); ++i)
      all += events_[i];
    return all;
  }

  FakeMessageBoxes boxes_;
  FakeMessageLoop loop_;
  PosixProcessRunner runner_;
  ScopedPlatform platform_;
  CSpawnConsoleApp app_;
  std::vector<std::string> events_;
};

TEST_F(SpawnTest, SilentChildGivesStartedThenOneEmptyPiece) {
  EXPECT_EQ(RunChild(""), 0);
  EXPECT_EQ(events_, (std::vector<std::string>{"<started>", ""}));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(SpawnTest, FortyBytesArriveAsSixteenSixteenEightThenEmpty) {
  const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  EXPECT_EQ(RunChild("out " + forty + " exit 3"), 3);
  EXPECT_EQ(events_, (std::vector<std::string>{"<started>", "0123456789abcdef", "ghijklmnopqrstuv",
                                               "wxyzABCD", ""}));
}

TEST_F(SpawnTest, StandardErrorIsInterleavedInWritingOrder) {
  RunChild(R"(out "line 1\r\n" err "warn 1\r\n" out "line 2\r\n" err "warn 2\r\n")");
  EXPECT_EQ(Joined(), "line 1\r\nwarn 1\r\nline 2\r\nwarn 2\r\n");
  EXPECT_EQ(events_.back(), "");
}

TEST_F(SpawnTest, MissingProgramIsReportedWithNoEvents) {
  testing::TempDir dir;
  int32_t result = app_.ExecuteApp("\"" + (dir / "hhc").string() + "\" project.hhp", "");
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(events_.empty());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  const std::string prefix =
      "CreateProcess failed. Error: 2\r\nin Sitepack.CSpawnConsoleApp"
      ".ExecuteApp at line ";
  EXPECT_EQ(boxes_.shown[0].text.substr(0, prefix.size()), prefix);
  EXPECT_GT(std::stoi(boxes_.shown[0].text.substr(prefix.size())), 0);
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kNone);
}

TEST_F(SpawnTest, FloodOfSeveralMegabytesArrivesWhole) {
  constexpr size_t kBytes = 6 * 1024 * 1024 + 7;
  size_t total = 0;
  size_t longest = 0;
  size_t empty = 0;
  std::string head;
  app_.OnProcessOutputs = [&](std::string_view text) {
    total += text.size();
    longest = std::max(longest, text.size());
    if (text.empty()) ++empty;
    if (head.size() < 130) head.append(text);
  };
  EXPECT_EQ(RunChild("flood " + std::to_string(kBytes)), 0);
  EXPECT_EQ(total, kBytes);
  EXPECT_EQ(longest, 16u);
  EXPECT_EQ(empty, 1u);
  EXPECT_EQ(head.substr(0, 128),
            "00000000 " + std::string(54, '0') + "\n00000001 " + std::string(54, '0') + "\n");
}

TEST_F(SpawnTest, CrashGivesSignalCodeAfterTheOutput) {
  EXPECT_EQ(RunChild("out before crash"), 128 + SIGABRT);
  EXPECT_EQ(Joined(), "before");
}

TEST_F(SpawnTest, SilentChildStillYieldsAndCanBeCancelled) {
  // The child never writes and never ends; the message loop keeps turning and the user's
  // cancel on its fifth turn ends the run.
  loop_.on_events = [this](int call) {
    if (call == 5) app_.Cancel();
  };
  EXPECT_EQ(RunChild("sleep"), 128 + SIGTERM);
  EXPECT_GE(loop_.calls, 5);
  EXPECT_EQ(events_, (std::vector<std::string>{"<started>", ""}));
  EXPECT_FALSE(app_.Running());
}

TEST_F(SpawnTest, CancelEndsWhatTheChildStartedToo) {
  // The child exits at once but leaves a sleeper holding the output open.
  loop_.on_events = [this](int call) {
    if (call == 3) app_.Cancel();
  };
  EXPECT_EQ(RunChild("out x spawn-sleeper exit 4"), 4);
  EXPECT_EQ(Joined(), "x");
}

TEST_F(SpawnTest, ChildThatIgnoresTerminationIsKilled) {
  loop_.on_events = [this](int call) {
    if (call == 2) app_.Cancel();
  };
  EXPECT_EQ(RunChild("ignore-term out x sleep"), 128 + SIGKILL);
  EXPECT_EQ(Joined(), "x");
}

}  // namespace
}  // namespace corvina
