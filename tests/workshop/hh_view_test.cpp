#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/HhProgramHelpViewer.h"
#include "platform/PosixFileSystem.h"
#include "platform/RuntimeDirWindows.h"
#include "tests/fakes/TestSupport.h"
#include "tests/workshop/HhTestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

using hh_testing::ChildOptions;
using hh_testing::ChildResult;
using hh_testing::CompileSite;
using hh_testing::kHh;
using hh_testing::Lines;
using hh_testing::RunChild;
using hh_testing::Spawn;
using hh_testing::Wait;

// Sets environment variables for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A viewer stand-in: records the windows registered when it started and then its arguments
// (the arguments file appears last, complete), then runs until it is ended or ends at once.
void WriteFakeViewer(const fs::path& path, bool stays_open) {
  WriteFileBytes(path,
                 "#!/bin/sh\n"
                 "cat \"$XDG_RUNTIME_DIR\"/corvina/windows/*.window > \"$0.windows\"\n"
                 "printf '%s\\n' \"$@\" > \"$0.part\"\n"
                 "mv \"$0.part\" \"$0.args\"\n" +
                     std::string(stays_open ? "exec sleep 600\n" : "exit 0\n"));
  fs::permissions(path, fs::perms::owner_all);
}

// Waits, with a generous limit, until the file exists.
bool WaitForFile(const fs::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Waits, with a generous limit, until a window of that caption is registered.
WindowHandle WaitForWindow(RuntimeDirWindows& windows, std::string_view caption) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (WindowHandle window = windows.FindWindow("HH Parent", caption); window != kNoWindow) {
      return window;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ADD_FAILURE() << "no window \"" << caption << "\" appeared";
  return kNoWindow;
}

// True when someone holds a lock on the file, as the file-system object's deletion checks.
bool IsLocked(const fs::path& file) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return locked;
}

struct ViewerSetup {
  fs::path chm;
  fs::path bin;
  fs::path run;
  ChildOptions options;
};

ViewerSetup SetUpViewer(const TempDir& temp, const char* viewer, bool stays_open) {
  ViewerSetup setup;
  setup.chm = CompileSite(temp, temp / "site", {{"index.htm", "i"}, {"b.htm", "b"}});
  setup.bin = temp / "bin";
  setup.run = temp / "run";
  fs::create_directories(setup.run);
  if (viewer != nullptr) WriteFakeViewer(setup.bin / viewer, stays_open);
  setup.options.env = {{"PATH", setup.bin.string() + ":/usr/bin:/bin"},
                       {"XDG_RUNTIME_DIR", setup.run.string()}};
  setup.options.out = temp / "view.out";
  setup.options.err = temp / "view.err";
  return setup;
}

TEST(HhViewTest, HoldsTheFileAndItsWindowUntilToldToClose) {
  TempDir temp;
  ViewerSetup setup = SetUpViewer(temp, "xchm", true);
  pid_t hh = Spawn({kHh, setup.chm.string() + "::/b.htm"}, setup.options);
  RuntimeDirWindows windows(setup.run / "corvina" / "windows");
  WindowHandle window = WaitForWindow(windows, "Test Help");
  ASSERT_NE(window, kNoWindow);
  ASSERT_TRUE(WaitForFile(setup.bin / "xchm.args"));
  EXPECT_TRUE(IsLocked(setup.chm));
  // The file-system object refuses to delete the file that the viewer shows, as on Windows.
  PosixFileSystem files;
  EXPECT_EQ(files.DeleteFile(setup.chm.string(), false).number(), kErrPermissionDenied);
  EXPECT_EQ(files.DeleteFile(setup.chm.string(), true).number(), kErrPermissionDenied);
  EXPECT_TRUE(fs::exists(setup.chm));

  EXPECT_TRUE(windows.SendMessage(window, kWmClose, 0, 0).ok());
  EXPECT_EQ(Wait(hh), 0);
  EXPECT_FALSE(IsLocked(setup.chm));
  EXPECT_EQ(windows.FindWindow("HH Parent", "Test Help"), kNoWindow);
  EXPECT_EQ(ReadFileBytes(setup.bin / "xchm.args"), setup.chm.string() + "\n");
  EXPECT_EQ(ReadFileBytes(temp / "view.err"), "");
  EXPECT_TRUE(files.DeleteFile(setup.chm.string(), false).ok());
}

TEST(HhViewTest, SaysWhenNoViewerIsInstalledOrTheFileIsNoHelpFile) {
  TempDir temp;
  ViewerSetup setup = SetUpViewer(temp, nullptr, false);
  ChildResult none = RunChild(temp, {kHh, setup.chm.string()}, setup.options);
  EXPECT_EQ(none.exit_code, 3);
  EXPECT_EQ(none.err, "hh: no help viewer is installed: install xchm or kchmviewer to open \"" +
                          setup.chm.string() + "\"\n");

  WriteFileBytes(temp / "text.chm", "text");
  ChildResult text = RunChild(temp, {kHh, (temp / "text.chm").string()}, setup.options);
  EXPECT_EQ(text.exit_code, 2);
  EXPECT_EQ(text.err,
            "hh: \"" + (temp / "text.chm").string() + "\" is not a compiled help file (.chm)\n");
  EXPECT_FALSE(fs::exists(setup.run / "corvina"));
}

}  // namespace
}  // namespace corvina
