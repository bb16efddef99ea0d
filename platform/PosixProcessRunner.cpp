#include "platform/PosixProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/OwnExecutable.h"
#include "platform/UniqueFd.h"

extern char** environ;

namespace corvina {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// Error numbers as the Windows process calls report them, which the callers show.
constexpr int32_t kWinFileNotFound = 2;
constexpr int32_t kWinPathNotFound = 3;
constexpr int32_t kWinTooManyOpenFiles = 4;
constexpr int32_t kWinAccessDenied = 5;
constexpr int32_t kWinNotEnoughMemory = 8;
constexpr int32_t kWinDirectoryInvalid = 267;
constexpr int kPipeSize = 1024 * 1024;

int32_t WindowsErrorNumber(int errno_value) {
  switch (errno_value) {
    case ENOENT:
      return kWinFileNotFound;
    case ENOTDIR:
      return kWinPathNotFound;
    case EACCES:
    case EPERM:
      return kWinAccessDenied;
    case EMFILE:
    case ENFILE:
      return kWinTooManyOpenFiles;
    case ENOMEM:
      return kWinNotEnoughMemory;
    default:
      return errno_value;
  }
}

ProcessStart Failed(ProcessStartFailure::Step step, int32_t system_error) {
  ProcessStart start;
  start.failure = {step, system_error};
  return start;
}

int32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// The posix_spawn attribute and file-action objects, destroyed at the end of the scope.
struct SpawnAttributes {
  posix_spawnattr_t attr;
  SpawnAttributes() { posix_spawnattr_init(&attr); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

struct SpawnFileActions {
  posix_spawn_file_actions_t actions;
  SpawnFileActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
};

// A running child and the read end of its output pipe. The child is always reaped: on
// destruction a child that nobody waited for is killed with its group and then waited for.
class ChildProcess : public IChildProcess {
 public:
  ChildProcess(pid_t pid, UniqueFd output)
      : pid_(pid),
        output_(std::move(output)),
        pidfd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
  ~ChildProcess() override {
    if (reaped_) return;
    KillNow();
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  ProcessRead Read(std::span<std::byte> buffer, milliseconds timeout) override {
    EscalateIfDue();
    ProcessRead result;
    pollfd pfd{output_.get(), POLLIN, 0};
    int ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return result;
    if (ready < 0) {
      result.failed = result.end = true;
      return result;
    }
    ssize_t n;
    do {
      n = ::read(output_.get(), buffer.data(), buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      result.failed = result.end = true;
    } else if (n == 0) {
      result.end = true;
    } else {
      result.bytes = static_cast<size_t>(n);
    }
    return result;
  }

  std::optional<int32_t> Wait(milliseconds timeout) override {
    if (reaped_) return exit_code_;
    EscalateIfDue();
    if (TryReap()) return exit_code_;
    if (pidfd_.valid()) {
      pollfd pfd{pidfd_.get(), POLLIN, 0};
      IgnorePollResult(::poll(&pfd, 1, static_cast<int>(timeout.count())));
    } else {
      // Kernels without pidfd: look again every few milliseconds until the time is up.
      for (auto waited = milliseconds(0); waited < timeout; waited += milliseconds(5)) {
        timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
        if (TryReap()) return exit_code_;
      }
    }
    if (TryReap()) return exit_code_;
    return std::nullopt;
  }

  // SIGTERM first, so that a child can remove what it made; SIGKILL once the grace time is
  // up (checked on each Read and Wait).
  void Kill() override {
    if (reaped_ || terminating_) return;
    terminating_ = true;
    kill_deadline_ = std::chrono::steady_clock::now() + kKillGrace;
    ::kill(-pid_, SIGTERM);
    ::kill(pid_, SIGTERM);
  }

 private:
  static constexpr std::chrono::seconds kKillGrace{3};

  void KillNow() {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
  }

  void EscalateIfDue() {
    if (terminating_ && !killed_ && std::chrono::steady_clock::now() >= kill_deadline_) {
      killed_ = true;
      KillNow();
    }
  }

  static void IgnorePollResult(int) {}  // a wake-up or a time-out both lead to a look below

  bool TryReap() {
    int status = 0;
    pid_t done;
    do {
      done = ::waitpid(pid_, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == pid_) {
      exit_code_ = ExitCodeOf(status);
      reaped_ = true;
    } else if (done < 0) {
      // Someone else reaped it (ECHILD); there is nothing left to wait for.
      exit_code_ = -1;
      reaped_ = true;
    }
    return reaped_;
  }

  pid_t pid_;
  UniqueFd output_;
  UniqueFd pidfd_;
  bool reaped_ = false;
  bool terminating_ = false;
  bool killed_ = false;
  std::chrono::steady_clock::time_point kill_deadline_;
  int32_t exit_code_ = 0;
};

Result<fs::path> Runnable(const fs::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    return Error{kWinFileNotFound, "program not found: " + path.string()};
  }
  if (::access(path.c_str(), X_OK) != 0) {
    return Error{kWinAccessDenied, "program cannot be run: " + path.string()};
  }
  return path;
}

}  // namespace

Result<fs::path> FindProgram(std::string_view name) {
  if (name.empty()) return Error{kWinFileNotFound, "no program named"};
  if (name.find('/') != std::string_view::npos) {
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(name), ec);
    if (ec) return Error{kWinFileNotFound, "program not found: " + std::string(name)};
    return Runnable(path);
  }
  std::vector<fs::path> folders;
  if (fs::path own = OwnExecutableFolder(); !own.empty()) folders.push_back(own);
  if (const char* path_list = ::getenv("PATH")) {
    std::string_view rest = path_list;
    while (true) {
      size_t colon = rest.find(':');
      std::string_view entry = rest.substr(0, colon);
      if (!entry.empty()) folders.emplace_back(entry);
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  Result<fs::path> last = Error{kWinFileNotFound, "program not found: " + std::string(name)};
  for (const fs::path& folder : folders) {
    Result<fs::path> found = Runnable(folder / name);
    if (found.ok()) return found;
    if (found.error().number == kWinAccessDenied) last = found;
  }
  return last;
}

ProcessStart PosixProcessRunner::Start(const ProcessStartOptions& options) {
  using Step = ProcessStartFailure::Step;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return Failed(Step::kPipe, WindowsErrorNumber(errno));
  UniqueFd read_end(fds[0]);
  UniqueFd write_end(fds[1]);
  // A larger pipe lets a child that writes much go on while its output is handed out; a
  // system that refuses keeps its default size.
  ::fcntl(write_end.get(), F_SETPIPE_SZ, kPipeSize);

  std::vector<std::string> args = SplitCommandLine(options.command_line);
  if (args.empty()) return Failed(Step::kProcess, kWinFileNotFound);
  Result<fs::path> program = FindProgram(args[0]);
  if (!program.ok()) return Failed(Step::kProcess, program.error().number);
  if (!options.working_directory.empty()) {
    struct stat st;
    if (::stat(options.working_directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return Failed(Step::kProcess, kWinDirectoryInvalid);
    }
  }

  SpawnAttributes attributes;
  SpawnFileActions actions;
  sigset_t no_signals;
  sigset_t all_signals;
  sigemptyset(&no_signals);
  sigfillset(&all_signals);
  int rc = posix_spawnattr_setflags(
      &attributes.attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (rc == 0) rc = posix_spawnattr_setpgroup(&attributes.attr, 0);
  if (rc == 0) rc = posix_spawnattr_setsigmask(&attributes.attr, &no_signals);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(&attributes.attr, &all_signals);
  if (rc == 0) {
    rc = posix_spawn_file_actions_addopen(&actions.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions.actions, write_end.get(), 1);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions.actions, write_end.get(), 2);
  if (rc == 0 && !options.working_directory.empty()) {
    rc = posix_spawn_file_actions_addchdir_np(&actions.actions, options.working_directory.c_str());
  }
  if (rc != 0) return Failed(Step::kProcess, WindowsErrorNumber(rc));

  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  rc = ::posix_spawn(&pid, program->c_str(), &actions.actions, &attributes.attr, argv.data(),
                     environ);
  if (rc != 0) return Failed(Step::kProcess, WindowsErrorNumber(rc));
  // Our copy of the write end goes, so the end of data comes when the child's copies close.
  write_end.reset();

  ProcessStart start;
  start.child = std::make_unique<ChildProcess>(pid, std::move(read_end));
  return start;
}

}  // namespace corvina
