#include "platform/RuntimeDirWindows.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

namespace corvina {
namespace {

constexpr std::string_view kSuffix = ".window";
constexpr int kSerialBits = 20;

struct Entry {
  pid_t pid = 0;
  std::string start_time;
  std::string class_name;
  std::string caption;
};

struct ProcessState {
  bool running = false;
  std::string start_time;
};

// What /proc says of a process: whether it still runs (a zombie does not) and when it started,
// which tells it apart from a later process that got the same id.
ProcessState StateOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  size_t after_name = line.rfind(')');
  if (after_name == std::string::npos) return {};
  std::istringstream fields(line.substr(after_name + 1));
  std::string state;
  fields >> state;
  std::string field;
  // Fields 4 to 21 come before the start time (field 22).
  for (int i = 4; i <= 21 && fields >> field;)
    ++i;
  ProcessState result;
  result.running = state != "Z" && state != "X";
  fields >> result.start_time;
  return result;
}

bool IsLive(const Entry& entry) {
  ProcessState state = StateOf(entry.pid);
  return state.running && state.start_time == entry.start_time;
}

std::optional<Entry> ReadEntry(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string pid_text;
  Entry entry;
  if (!std::getline(in, pid_text) || !std::getline(in, entry.start_time) ||
      !std::getline(in, entry.class_name)) {
    return std::nullopt;
  }
  std::ostringstream rest;
  rest << in.rdbuf();
  entry.caption = rest.str();
  if (!entry.caption.empty() && entry.caption.back() == '\n') entry.caption.pop_back();
  auto [end, error] =
      std::from_chars(pid_text.data(), pid_text.data() + pid_text.size(), entry.pid);
  if (error != std::errc() || end != pid_text.data() + pid_text.size() || entry.pid <= 0) {
    return std::nullopt;
  }
  return entry;
}

// The handle that a file name "<pid>-<serial>.window" stands for, or kNoWindow.
WindowHandle HandleOf(std::string_view name) {
  if (!name.ends_with(kSuffix)) return kNoWindow;
  name.remove_suffix(kSuffix.size());
  size_t dash = name.find('-');
  if (dash == std::string_view::npos) return kNoWindow;
  int64_t pid = 0;
  int64_t serial = 0;
  auto first = std::from_chars(name.data(), name.data() + dash, pid);
  auto second = std::from_chars(name.data() + dash + 1, name.data() + name.size(), serial);
  if (first.ptr != name.data() + dash || second.ptr != name.data() + name.size() || pid <= 0 ||
      serial < 0 || serial >= (int64_t{1} << kSerialBits)) {
    return kNoWindow;
  }
  return pid << kSerialBits | serial;
}

pid_t PidOf(WindowHandle window) {
  return static_cast<pid_t>(window >> kSerialBits);
}

Status WriteWhole(const std::filesystem::path& path, std::string_view bytes) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return ErrnoError("create", errno, path.string());
  if (Status written = WriteAll(fd.get(), bytes, path.string()); !written.ok()) {
    fd.reset();
    ::unlink(path.c_str());
    return written;
  }
  if (::close(fd.release()) != 0) return ErrnoError("write", errno, path.string());
  return Status::Ok();
}

}  // namespace

RuntimeDirWindows::RuntimeDirWindows(std::filesystem::path folder,
                                     std::chrono::milliseconds close_wait)
    : folder_(std::move(folder)), close_wait_(close_wait) {}

std::filesystem::path RuntimeDirWindows::DefaultFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    return std::filesystem::path(runtime) / "corvina" / "windows";
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    return std::filesystem::path(config) / "corvina" / "run";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : "/tmp") / ".config" / "corvina" / "run";
}

std::filesystem::path RuntimeDirWindows::EntryPath(WindowHandle window) const {
  return folder_ /
         (std::to_string(PidOf(window)) + "-" +
          std::to_string(window & ((int64_t{1} << kSerialBits) - 1)) + std::string(kSuffix));
}

WindowHandle RuntimeDirWindows::FindWindow(std::string_view class_name, std::string_view caption) {
  std::error_code ec;
  std::vector<std::pair<WindowHandle, std::filesystem::path>> found;
  for (const auto& file : std::filesystem::directory_iterator(folder_, ec)) {
    WindowHandle window = HandleOf(file.path().filename().string());
    if (window != kNoWindow) found.emplace_back(window, file.path());
  }
  // The oldest registration first, as a stable answer to "the first window".
  std::sort(found.begin(), found.end());
  for (const auto& [window, path] : found) {
    std::optional<Entry> entry = ReadEntry(path);
    if (!entry || entry->pid != PidOf(window)) continue;  // still being written, or foreign
    if (!IsLive(*entry)) {
      std::filesystem::remove(path, ec);  // its process has ended
      continue;
    }
    if (entry->class_name == class_name && entry->caption == caption) return window;
  }
  return kNoWindow;
}

Status RuntimeDirWindows::SendMessage(WindowHandle window, uint32_t message, intptr_t, intptr_t) {
  if (message != kWmClose) {
    return Error{kErrInvalidArgument,
                 "window message " + std::to_string(message) + " is not supported"};
  }
  const std::filesystem::path path = EntryPath(window);
  std::optional<Entry> entry = ReadEntry(path);
  if (!entry || !IsLive(*entry)) return Error{kErrInvalidArgument, "no such window"};
  if (entry->pid == ::getpid()) {
    return Error{kErrInvalidArgument, "a window of this process closes itself"};
  }
  if (::kill(entry->pid, SIGTERM) != 0) return ErrnoError("close window", errno);

  const auto deadline = std::chrono::steady_clock::now() + close_wait_;
  std::error_code ec;
  while (std::filesystem::exists(path, ec) && IsLive(*entry)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return Error{kErrPermissionDenied, "the window did not close"};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::filesystem::remove(path, ec);  // left behind when the process ended without removing it
  return Status::Ok();
}

Result<WindowHandle> RuntimeDirWindows::RegisterWindow(std::string_view class_name,
                                                       std::string_view caption) {
  static std::atomic<int64_t> next_serial{0};
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (ec) return ErrnoError("create folder", ec.value(), folder_.string());
  // Window entries are the user's own business.
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace, ec);

  const pid_t pid = ::getpid();
  const WindowHandle window =
      int64_t{pid} << kSerialBits | (next_serial++ & ((int64_t{1} << kSerialBits) - 1));
  std::string bytes = std::to_string(pid) + "\n" + StateOf(pid).start_time + "\n" +
                      std::string(class_name) + "\n" + std::string(caption) + "\n";
  // Written aside and renamed, so that a reader never sees half an entry.
  const std::filesystem::path path = EntryPath(window);
  std::filesystem::path temp = path;
  temp += ".tmp";
  if (Status written = WriteWhole(temp, bytes); !written) return written.error();
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return ErrnoError("rename", ec.value(), path.string());
  }
  return window;
}

Status RuntimeDirWindows::UnregisterWindow(WindowHandle window) {
  const std::filesystem::path path = EntryPath(window);
  if (::unlink(path.c_str()) != 0) return ErrnoError("remove", errno, path.string());
  return Status::Ok();
}

}  // namespace corvina
