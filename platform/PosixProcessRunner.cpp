#include "platform/PosixProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
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
  // `output` is invalid when the child writes to the caller's streams; `terminal` says that it
  // is a pseudo-terminal's master side.
  ChildProcess(pid_t pid, UniqueFd output, bool terminal)
      : pid_(pid),
        output_(std::move(output)),
        terminal_(terminal),
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
    if (!output_.valid()) {
      result.end = true;
      return result;
    }
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
    if (n < 0 && terminal_ && errno == EIO) {
      // A terminal's master side reads EIO once every holder of the other side closed it.
      result.end = true;
    } else if (n < 0) {
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
  bool terminal_;
  UniqueFd pidfd_;
  bool reaped_ = false;
  bool terminating_ = false;
  bool killed_ = false;
  std::chrono::steady_clock::time_point kill_deadline_;
  int32_t exit_code_ = 0;
};

// A detached child is not ours to read, wait for or end: it has ended as far as we can tell.
class DetachedChild : public IChildProcess {
 public:
  ProcessRead Read(std::span<std::byte>, milliseconds) override { return {0, true, false}; }
  std::optional<int32_t> Wait(milliseconds) override { return 0; }
  void Kill() override {}
};

// Where the child's output goes, and what the parent keeps of it.
struct OutputChannel {
  UniqueFd parent_end;        // the pipe's read end or the terminal's master side
  UniqueFd child_end;         // the pipe's write end or the terminal's other side, open here
  std::string terminal_name;  // the other side's name, which the child opens
};

// Each returns 0 or the errno of the step that failed.
int MakePipe(OutputChannel& channel) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  channel.parent_end.reset(fds[0]);
  channel.child_end.reset(fds[1]);
  // A larger pipe lets a child that writes much go on while its output is handed out; a
  // system that refuses keeps its default size.
  ::fcntl(channel.child_end.get(), F_SETPIPE_SZ, kPipeSize);
  return 0;
}

// A pseudo-terminal in raw mode: what the child writes arrives byte for byte, line ends
// untouched.
int MakeTerminal(OutputChannel& channel) {
  channel.parent_end.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!channel.parent_end.valid()) return errno;
  char name[128];
  if (::grantpt(channel.parent_end.get()) != 0 || ::unlockpt(channel.parent_end.get()) != 0) {
    return errno;
  }
  if (int rc = ::ptsname_r(channel.parent_end.get(), name, sizeof name); rc != 0) return rc;
  channel.terminal_name = name;
  channel.child_end.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!channel.child_end.valid()) return errno;
  termios raw{};
  if (::tcgetattr(channel.child_end.get(), &raw) != 0) return errno;
  ::cfmakeraw(&raw);
  if (::tcsetattr(channel.child_end.get(), TCSANOW, &raw) != 0) return errno;
  return 0;
}

// Starts `program` detached: a middle child leads a new session, starts the program and leaves
// at once, so that init adopts and reaps it. Between fork and exec only async-signal-safe calls
// are made; everything they use is ready before the fork. A failed exec sends its errno back
// through a pipe that the exec closes.
ProcessStart StartDetached(const fs::path& program, std::vector<char*>& argv,
                           const std::string& working_directory) {
  using Step = ProcessStartFailure::Step;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return Failed(Step::kPipe, WindowsErrorNumber(errno));
  UniqueFd report_read(fds[0]);
  UniqueFd report_write(fds[1]);
  const char* path = program.c_str();
  const char* folder = working_directory.empty() ? nullptr : working_directory.c_str();
  sigset_t no_signals;
  sigemptyset(&no_signals);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;

  const pid_t middle = ::fork();
  if (middle < 0) return Failed(Step::kProcess, WindowsErrorNumber(errno));
  if (middle == 0) {
    ::setsid();
    const pid_t child = ::fork();
    int error = errno;
    if (child == 0) {
      for (int number = 1; number < NSIG; ++number)
        ::sigaction(number, &default_action, nullptr);
      ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
      const int null = ::open("/dev/null", O_RDONLY);
      if (null >= 0 && null != STDIN_FILENO) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
      }
      if (folder == nullptr || ::chdir(folder) == 0) ::execve(path, argv.data(), environ);
      error = errno;
    }
    if (child <= 0 && ::write(report_write.get(), &error, sizeof error) < 0) {
      // Nobody is left to tell.
    }
    ::_exit(child < 0 ? 1 : child == 0 ? 127 : 0);
  }
  report_write.reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = ::read(report_read.get(), &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof error)) {
    return Failed(Step::kProcess, WindowsErrorNumber(error));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return Failed(Step::kProcess, WindowsErrorNumber(ECHILD));
  }
  ProcessStart start;
  start.child = std::make_unique<DetachedChild>();
  return start;
}

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

// The first runnable `name` in the folder of the running executable (when `own_folder_first`)
// and then in each folder of PATH.
Result<fs::path> SearchFolders(std::string_view name, bool own_folder_first) {
  std::vector<fs::path> folders;
  if (own_folder_first) {
    if (fs::path own = OwnExecutableFolder(); !own.empty()) folders.push_back(own);
  }
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

}  // namespace

Result<fs::path> FindProgram(std::string_view name) {
  if (name.empty()) return Error{kWinFileNotFound, "no program named"};
  if (name.find('/') != std::string_view::npos) {
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(name), ec);
    if (ec) return Error{kWinFileNotFound, "program not found: " + std::string(name)};
    return Runnable(path);
  }
  return SearchFolders(name, true);
}

Result<fs::path> FindOnPath(std::string_view name) {
  return SearchFolders(name, false);
}

ProcessStart PosixProcessRunner::Start(const ProcessStartOptions& options) {
  using Step = ProcessStartFailure::Step;
  const bool terminal = options.streams == ProcessStreams::kTerminal && !options.detached;
  OutputChannel channel;
  if (!options.detached && options.streams != ProcessStreams::kInherited) {
    if (int rc = terminal ? MakeTerminal(channel) : MakePipe(channel); rc != 0) {
      return Failed(Step::kPipe, WindowsErrorNumber(rc));
    }
  }

  std::vector<std::string> args =
      options.arguments.empty() ? SplitCommandLine(options.command_line) : options.arguments;
  if (args.empty()) return Failed(Step::kProcess, kWinFileNotFound);
  Result<fs::path> program = FindProgram(args[0]);
  if (!program.ok()) return Failed(Step::kProcess, program.error().number);
  if (!options.working_directory.empty()) {
    struct stat st;
    if (::stat(options.working_directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return Failed(Step::kProcess, kWinDirectoryInvalid);
    }
  }

  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (options.detached) return StartDetached(*program, argv, options.working_directory);

  SpawnAttributes attributes;
  SpawnFileActions actions;
  sigset_t no_signals;
  sigset_t all_signals;
  sigemptyset(&no_signals);
  sigfillset(&all_signals);
  // A child on a terminal leads a session of its own, whose controlling terminal that is; it
  // leads its process group too.
  const short group_flag = terminal ? POSIX_SPAWN_SETSID : POSIX_SPAWN_SETPGROUP;
  int rc = posix_spawnattr_setflags(&attributes.attr,
                                    group_flag | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (rc == 0 && !terminal) rc = posix_spawnattr_setpgroup(&attributes.attr, 0);
  if (rc == 0) rc = posix_spawnattr_setsigmask(&attributes.attr, &no_signals);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(&attributes.attr, &all_signals);
  if (rc == 0 && terminal) {
    // Opened in the new session without O_NOCTTY, it becomes the controlling terminal.
    rc = posix_spawn_file_actions_addopen(&actions.actions, STDIN_FILENO,
                                          channel.terminal_name.c_str(), O_RDWR, 0);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions.actions, STDIN_FILENO, 1);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions.actions, STDIN_FILENO, 2);
  } else if (rc == 0) {
    rc = posix_spawn_file_actions_addopen(&actions.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0 && channel.child_end.valid()) {
      rc = posix_spawn_file_actions_adddup2(&actions.actions, channel.child_end.get(), 1);
      if (rc == 0)
        rc = posix_spawn_file_actions_adddup2(&actions.actions, channel.child_end.get(), 2);
    }
  }
  if (rc == 0 && !options.working_directory.empty()) {
    rc = posix_spawn_file_actions_addchdir_np(&actions.actions, options.working_directory.c_str());
  }
  if (rc != 0) return Failed(Step::kProcess, WindowsErrorNumber(rc));

  pid_t pid = 0;
  rc = ::posix_spawn(&pid, program->c_str(), &actions.actions, &attributes.attr, argv.data(),
                     environ);
  if (rc != 0) return Failed(Step::kProcess, WindowsErrorNumber(rc));
  // Our copy of the child's end goes, so the end of data comes when the child's copies close.
  channel.child_end.reset();

  ProcessStart start;
  start.child = std::make_unique<ChildProcess>(pid, std::move(channel.parent_end), terminal);
  return start;
}

}  // namespace corvina
