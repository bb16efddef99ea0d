#include "compiler/CSpawnConsoleApp.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/PosixProcessRunner.h"
#include "testing/FakeProcessRunner.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeMessageLoop.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

const std::string kChild = std::string(CORVINA_BIN_DIR) + "/corvina_test_child";

// A runner with its events recorded: "started" and each piece of output, in order.
class SpawnTest : public ::testing::Test {
 protected:
  SpawnTest() {
    app_.OnProcessStarted = [this] { events_.push_back("<started>"); };
    app_.OnProcessOutputs = [this](std::string_view text) { events_.emplace_back(text); };
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
  ScopedPlatform platform_{
      Platform{.message_boxes = &boxes_, .processes = &runner_, .message_loop = &loop_}};
  CSpawnConsoleApp app_;
  std::vector<std::string> events_;
};

// "started", the output in pieces of at most 16 bytes, standard error interleaved in writing
// order, then one empty piece; the exit code or 128 plus the signal that ended the child.
TEST_F(SpawnTest, OutputArrivesInPiecesBetweenStartedAndAnEmptyPiece) {
  struct Case {
    std::string arguments;
    int32_t exit_code;
    std::vector<std::string> pieces;  // after "started"; joined when not `exact`
    bool exact = true;
  };
  const Case cases[] = {
      {"", 0, {""}},
      {"out 0123456789abcdefghijklmnopqrstuvwxyzABCD exit 3",
       3,
       {"0123456789abcdef", "ghijklmnopqrstuv", "wxyzABCD", ""}},
      {R"(out "line 1\r\n" err "warn 1\r\n" out "line 2\r\n" err "warn 2\r\n")",
       0,
       {"line 1\r\nwarn 1\r\nline 2\r\nwarn 2\r\n"},
       false},
      {"out before crash", 128 + SIGABRT, {"before"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    events_.clear();
    EXPECT_EQ(RunChild(c.arguments), c.exit_code);
    ASSERT_GE(events_.size(), 2u);
    EXPECT_EQ(events_.front(), "<started>");
    EXPECT_EQ(events_.back(), "");
    if (c.exact) {
      EXPECT_EQ(std::vector<std::string>(events_.begin() + 1, events_.end()), c.pieces);
    } else {
      EXPECT_EQ(Joined(), c.pieces[0]);
    }
  }
  EXPECT_TRUE(boxes_.shown.empty());
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

// Whether a child of ours has ended, without reaping it (that is left to the runner).
bool AChildHasEnded() {
  siginfo_t info{};
  return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

// The user's cancel on a turn of the message loop ends the run: a child that never writes or
// ends (the loop keeps turning meanwhile), one that has exited but left a sleeper holding the
// output open, and one that ignores termination (then it is killed). The cancel comes once
// the child's output is in, and for the second once the child has ended.
TEST_F(SpawnTest, CancelEndsTheChildAndWhatItStarted) {
  struct Case {
    std::string arguments;
    int cancel_from_turn;
    bool after_the_end;
    int32_t exit_code;
    std::string output;
  };
  const Case cases[] = {
      {"sleep", 5, false, 128 + SIGTERM, ""},
      {"out x spawn-sleeper exit 4", 1, true, 4, "x"},
      {"ignore-term out x sleep", 1, false, 128 + SIGKILL, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    events_.clear();
    loop_.calls = 0;
    bool cancelled = false;
    loop_.on_events = [this, &c, &cancelled](int call) {
      const bool ready = call >= c.cancel_from_turn && Joined() == c.output &&
                         (!c.after_the_end || AChildHasEnded());
      // A generous limit (two minutes of turns) ends a run that never gets ready.
      if (!cancelled && (ready || call > 2400)) {
        cancelled = true;
        app_.Cancel();
      }
    };
    EXPECT_EQ(RunChild(c.arguments), c.exit_code);
    loop_.on_events = nullptr;
    EXPECT_GE(loop_.calls, c.cancel_from_turn);
    EXPECT_EQ(events_.back(), "");
    EXPECT_EQ(Joined(), c.output);
    EXPECT_FALSE(app_.Running());
  }
}

}  // namespace
}  // namespace corvina
