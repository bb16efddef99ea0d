#include "platform/RuntimeDirWindows.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFileBytes;

// A child that waits until a signal ends it; killed and reaped when the test ends.
class Child {
 public:
  // `ignore_term`: born ignoring SIGTERM, as a program that does not answer a close request.
  explicit Child(bool ignore_term = false) {
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    if (ignore_term) ::sigaction(SIGTERM, &ignore, &old);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::pause();
      ::_exit(0);
    }
    if (ignore_term) ::sigaction(SIGTERM, &old, nullptr);
  }
  ~Child() {
    if (pid_ > 0) Wait(SIGKILL);
  }
  pid_t pid() const { return pid_; }
  // Sends the signal (none: 0) and gives the signal that ended the child.
  int Wait(int signal = 0) {
    if (signal != 0) ::kill(pid_, signal);
    int status = 0;
    ::waitpid(std::exchange(pid_, -1), &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  std::string StartTime() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
      fields >> field;
    return field;
  }

 private:
  pid_t pid_;
};

// Writes the entry that a window-owning process would write for itself.
WindowHandle WriteEntry(const fs::path& folder, pid_t pid, const std::string& start_time,
                        std::string_view caption) {
  WriteFileBytes(
      folder / (std::to_string(pid) + "-0.window"),
      std::to_string(pid) + "\n" + start_time + "\nHH Parent\n" + std::string(caption) + "\n");
  return WindowHandle{pid} << 20;
}

TEST(RuntimeDirWindowsTest, FindsRegisteredWindowsByClassAndCaption) {
  TempDir temp;
  RuntimeDirWindows windows(temp / "windows");
  Result<WindowHandle> help = windows.RegisterWindow("HH Parent", "Guide");
  Result<WindowHandle> other = windows.RegisterWindow("HH Parent", "Other title");
  ASSERT_TRUE(help.ok()) << help.error().description;
  ASSERT_TRUE(other.ok());
  EXPECT_NE(*help, *other);

  EXPECT_EQ(windows.FindWindow("HH Parent", "Guide"), *help);
  EXPECT_EQ(windows.FindWindow("HH Parent", "Other title"), *other);
  EXPECT_EQ(windows.FindWindow("HH Parent", "guide"), kNoWindow);
  EXPECT_EQ(windows.FindWindow("Other Class", "Guide"), kNoWindow);
  // Another process of the user sees the same windows.
  EXPECT_EQ(RuntimeDirWindows(temp / "windows").FindWindow("HH Parent", "Guide"), *help);
  EXPECT_EQ(fs::status(temp / "windows").permissions() & fs::perms::all, fs::perms::owner_all);

  EXPECT_TRUE(windows.UnregisterWindow(*help).ok());
  EXPECT_EQ(windows.FindWindow("HH Parent", "Guide"), kNoWindow);
  EXPECT_FALSE(windows.UnregisterWindow(*help).ok());
  // A window of this process is not closed by signalling the process itself.
  EXPECT_FALSE(windows.SendMessage(*other, kWmClose, 0, 0).ok());
  EXPECT_EQ(windows.FindWindow("HH Parent", "Other title"), *other);
}

TEST(RuntimeDirWindowsTest, IgnoresAndRemovesEntriesOfEndedProcesses) {
  TempDir temp;
  const fs::path folder = temp / "windows";
  Child ended;
  const std::string start_time = ended.StartTime();
  const pid_t ended_pid = ended.pid();
  ended.Wait(SIGKILL);
  WriteEntry(folder, ended_pid, start_time, "Guide");
  // Our own id with another start time: a later process that got a reused id.
  WriteEntry(folder, getpid(), "1", "Guide");
  WriteFileBytes(folder / "garbage.window", "not an entry");

  RuntimeDirWindows windows(folder);
  EXPECT_EQ(windows.FindWindow("HH Parent", "Guide"), kNoWindow);
  EXPECT_FALSE(fs::exists(folder / (std::to_string(ended_pid) + "-0.window")));
  EXPECT_FALSE(fs::exists(folder / (std::to_string(getpid()) + "-0.window")));
  EXPECT_TRUE(fs::exists(folder / "garbage.window"));
}

TEST(RuntimeDirWindowsTest, CloseEndsTheOwnerAndWaitsForIt) {
  TempDir temp;
  const fs::path folder = temp / "windows";
  Child viewer;
  WindowHandle window = WriteEntry(folder, viewer.pid(), viewer.StartTime(), "Guide");

  RuntimeDirWindows windows(folder);
  ASSERT_EQ(windows.FindWindow("HH Parent", "Guide"), window);
  Status closed = windows.SendMessage(window, kWmClose, 0, 0);
  EXPECT_TRUE(closed.ok()) << closed.description();
  EXPECT_EQ(viewer.Wait(), SIGTERM);
  EXPECT_EQ(windows.FindWindow("HH Parent", "Guide"), kNoWindow);
  EXPECT_FALSE(fs::exists(folder / (std::to_string(window >> 20) + "-0.window")));
}

// A viewer that ignores the close request keeps running; the caller hears so once the wait
// is over, and is not held longer.
TEST(RuntimeDirWindowsTest, AWindowThatDoesNotCloseIsReportedAfterTheWait) {
  TempDir temp;
  const fs::path folder = temp / "windows";
  Child viewer(/*ignore_term=*/true);
  WindowHandle window = WriteEntry(folder, viewer.pid(), viewer.StartTime(), "Guide");
  RuntimeDirWindows windows(folder, std::chrono::milliseconds(100));
  const Status closed = windows.SendMessage(window, kWmClose, 0, 0);
  EXPECT_EQ(closed.description(), "the window did not close");
  EXPECT_EQ(kill(viewer.pid(), 0), 0);
  EXPECT_EQ(windows.FindWindow("HH Parent", "Guide"), window);
}

}  // namespace
}  // namespace corvina
