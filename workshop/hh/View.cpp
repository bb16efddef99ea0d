#include "workshop/hh/View.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/RuntimeDirWindows.h"
#include "workshop/common/ChmArchive.h"
#if CORVINA_HH_QT
#include "workshop/hhview/QtViewer.h"
#endif

extern char** environ;

namespace corvina::workshop {
namespace {

constexpr std::string_view kViewerClass = "HH Parent";
constexpr int kViewerGraceSeconds = 3;

std::optional<std::filesystem::path> FindOnPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    size_t colon = folders.find(':');
    std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? "" : folders.substr(colon + 1);
    if (folder.empty()) continue;
    std::filesystem::path candidate = std::filesystem::path(folder) / program;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return std::nullopt;
}

// The viewer's command line: xchm takes only the file; kchmviewer also opens a page.
std::optional<std::vector<std::string>> ViewerCommand(const ViewRequest& request) {
  if (auto xchm = FindOnPath("xchm")) return std::vector<std::string>{*xchm, request.file};
  if (auto kchm = FindOnPath("kchmviewer")) {
    if (request.topic.empty()) return std::vector<std::string>{*kchm, request.file};
    return std::vector<std::string>{*kchm, "-showPage", request.topic, request.file};
  }
  return std::nullopt;
}

class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { Close(); }
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Starts the viewer with default signal handling and an empty mask, whatever hh blocks.
Result<pid_t> SpawnViewer(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t empty;
  sigset_t defaults;
  sigemptyset(&empty);
  sigemptyset(&defaults);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
    sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attr, &empty);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, argv[0], nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return ErrnoError("start", rc, command[0]);
  return pid;
}

// Waits for the viewer to end by itself, or for hh to be told to close; returns the exit code.
int WaitForViewer(pid_t viewer, const sigset_t& signals) {
  for (;;) {
    siginfo_t info{};
    int signal = ::sigwaitinfo(&signals, &info);
    if (signal < 0) continue;  // EINTR
    int status = 0;
    if (signal == SIGCHLD) {
      if (::waitpid(viewer, &status, WNOHANG) == viewer) return ExitCodeOf(status);
      continue;
    }
    // Told to close: close the viewer, then, if it does not end in time, kill it.
    ::kill(viewer, SIGTERM);
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    const timespec grace{kViewerGraceSeconds, 0};
    const time_t deadline = std::time(nullptr) + kViewerGraceSeconds;
    while (::waitpid(viewer, &status, WNOHANG) != viewer) {
      if (std::time(nullptr) > deadline) {
        ::kill(viewer, SIGKILL);
        ::waitpid(viewer, &status, 0);
        break;
      }
      ::sigtimedwait(&child, nullptr, &grace);
    }
    return 0;
  }
}

}  // namespace

ViewRequest ParseViewArguments(std::string_view file_argument, std::string_view topic_argument) {
  ViewRequest request{std::string(file_argument), std::string(topic_argument)};
  std::error_code ec;
  size_t separator = file_argument.find("::");
  if (separator != std::string_view::npos &&
      !std::filesystem::exists(std::filesystem::path(file_argument), ec)) {
    request.file = std::string(file_argument.substr(0, separator));
    request.topic = std::string(file_argument.substr(separator + 2));
  }
  while (request.topic.starts_with('/'))
    request.topic.erase(0, 1);
  return request;
}

int View(std::string_view file_argument, std::string_view topic_argument, std::ostream& err) {
  const ViewRequest request = ParseViewArguments(file_argument, topic_argument);
  Result<ChmArchive> archive = ChmArchive::Open(request.file);
  if (!archive.ok()) {
    err << "hh: " << archive.error().description << '\n';
    return kViewFailed;
  }
  std::string caption = archive->Title();
  if (caption.empty()) caption = std::filesystem::path(request.file).filename().string();
  bool own_viewer = false;
#if CORVINA_HH_QT
  own_viewer = QtViewerCanRun();
#endif
  if (!own_viewer) archive = Error{};  // another viewer reads the file itself

  std::optional<std::vector<std::string>> command;
  if (!own_viewer) command = ViewerCommand(request);
  if (!own_viewer && !command) {
    err << "hh: no help viewer is installed: install xchm or kchmviewer to open \"" << request.file
        << "\"\n";
    return kNoViewer;
  }

  // While the viewer shows the file, it must not be deleted or replaced under it: a deleter
  // asks for an exclusive lock first and fails with "Permission denied".
  ScopedFd lock(::open(request.file.c_str(), O_RDONLY | O_CLOEXEC));
  if (lock.get() < 0 || ::flock(lock.get(), LOCK_SH) != 0) {
    err << "hh: " << ErrnoError("lock", errno, request.file).description << '\n';
    return kViewFailed;
  }

  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
    sigaddset(&signals, signal);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);

  RuntimeDirWindows windows(RuntimeDirWindows::DefaultFolder());
  Result<WindowHandle> window = windows.RegisterWindow(kViewerClass, caption);
  if (!window.ok()) {
    err << "hh: the viewer cannot be closed by others: " << window.error().description << '\n';
  }

  int exit_code = kViewFailed;
#if CORVINA_HH_QT
  if (own_viewer) exit_code = RunQtViewer(*archive, caption, request.topic, signals);
#endif
  if (own_viewer) {
    // Shown by our own viewer above.
  } else if (Result<pid_t> viewer = SpawnViewer(*command); viewer.ok()) {
    exit_code = WaitForViewer(*viewer, signals);
  } else {
    err << "hh: " << viewer.error().description << '\n';
  }
  // The lock goes before the window, so that whoever waits for the window to close finds the
  // file free.
  lock.Close();
  if (window.ok()) {
    if (Status removed = windows.UnregisterWindow(*window); !removed) {
      err << "hh: " << removed.description() << '\n';
    }
  }
  return exit_code;
}

}  // namespace corvina::workshop
