#include "workshop/hh/View.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/PosixProcessRunner.h"
#include "platform/RuntimeDirWindows.h"
#include "platform/UniqueFd.h"
#include "workshop/common/ChmArchive.h"
#if CORVINA_HH_QT
#include "workshop/hhview/QtViewer.h"
#endif

namespace corvina::workshop {
namespace {

constexpr std::string_view kViewerClass = "HH Parent";

// The viewer's command line: xchm takes only the file; kchmviewer also opens a page.
std::optional<std::vector<std::string>> ViewerCommand(const ViewRequest& request) {
  if (auto xchm = FindOnPath("xchm"); xchm.ok()) {
    return std::vector<std::string>{*xchm, request.file};
  }
  if (auto kchm = FindOnPath("kchmviewer"); kchm.ok()) {
    if (request.topic.empty()) return std::vector<std::string>{*kchm, request.file};
    return std::vector<std::string>{*kchm, "-showPage", request.topic, request.file};
  }
  return std::nullopt;
}

// Waits for the viewer to end by itself, or for hh to be told to close; returns the exit code.
int WaitForViewer(IChildProcess& viewer, const sigset_t& signals) {
  for (;;) {
    siginfo_t info{};
    int signal = ::sigwaitinfo(&signals, &info);
    if (signal < 0) continue;  // EINTR
    if (signal == SIGCHLD) {
      if (std::optional<int32_t> code = viewer.Wait(std::chrono::milliseconds(0))) return *code;
      continue;
    }
    // Told to close: close the viewer, which is killed if it does not end within the runner's
    // grace time.
    viewer.Kill();
    while (!viewer.Wait(std::chrono::milliseconds(1000))) {
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
  UniqueFd lock(::open(request.file.c_str(), O_RDONLY | O_CLOEXEC));
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
  } else if (ProcessStart viewer = PosixProcessRunner().Start(
                 {.arguments = *command, .streams = ProcessStreams::kInherited});
             viewer.child) {
    exit_code = WaitForViewer(*viewer.child, signals);
  } else {
    err << "hh: start " << (*command)[0] << ": error " << viewer.failure.system_error << '\n';
  }
  // The lock goes before the window, so that whoever waits for the window to close finds the
  // file free.
  lock.reset();
  if (window.ok()) {
    if (Status removed = windows.UnregisterWindow(*window); !removed) {
      err << "hh: " << removed.description() << '\n';
    }
  }
  return exit_code;
}

}  // namespace corvina::workshop
