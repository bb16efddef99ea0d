#include "workshop/hh/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/WriteAll.h"

namespace corvina::workshop {
namespace {

// The file being written, for the signal handlers: its folder's descriptor and its name.
// The name is complete before the descriptor is published, and withdrawn before it changes.
std::atomic<int> partial_folder{-1};
char partial_name[64];

void PublishPartial(int folder, std::string_view name) {
  partial_folder.store(-1);
  const size_t size = std::min(name.size(), sizeof partial_name - 1);
  std::memcpy(partial_name, name.data(), size);
  partial_name[size] = '\0';
  partial_folder.store(folder);
}

void WithdrawPartial(int folder) {
  int expected = folder;
  partial_folder.compare_exchange_strong(expected, -1);
}

extern "C" void RemovePartialAndDie(int signal_number) {
  const int folder = partial_folder.exchange(-1);
  if (folder >= 0) ::unlinkat(folder, partial_name, 0);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// The parent path and the last component of a relative name.
std::pair<std::string_view, std::string> Split(std::string_view relative) {
  const size_t slash = relative.rfind('/');
  if (slash == std::string_view::npos) return {"", std::string(relative)};
  return {relative.substr(0, slash), std::string(relative.substr(slash + 1))};
}

}  // namespace

// Open descriptors of the root ("") and of folders below it used lately.
struct OutputFolder::Fds {
  std::unordered_map<std::string, UniqueFd> by_path;
};

OutputFile::OutputFile(UniqueFd folder, std::string leaf, std::string written_name, UniqueFd fd,
                       std::string shown)
    : folder_(std::move(folder)),
      leaf_(std::move(leaf)),
      written_name_(std::move(written_name)),
      fd_(std::move(fd)),
      shown_(std::move(shown)) {
  PublishPartial(folder_.get(), written_name_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      leaf_(std::move(other.leaf_)),
      written_name_(std::move(other.written_name_)),
      fd_(std::move(other.fd_)),
      shown_(std::move(other.shown_)) {
  other.written_name_.clear();
}

OutputFile::~OutputFile() {
  if (written_name_.empty()) return;
  fd_.reset();
  ::unlinkat(folder_.get(), written_name_.c_str(), 0);
  WithdrawPartial(folder_.get());
}

Status OutputFile::Write(std::span<const std::byte> bytes) {
  return WriteAll(fd_.get(), bytes, shown_);
}

Status OutputFile::Commit() {
  if (::close(fd_.release()) != 0) return ErrnoError("write", errno, shown_);
  if (::renameat(folder_.get(), written_name_.c_str(), folder_.get(), leaf_.c_str()) != 0) {
    return ErrnoError("rename", errno, shown_);
  }
  WithdrawPartial(folder_.get());
  written_name_.clear();
  return Status::Ok();
}

OutputFolder::OutputFolder(std::filesystem::path folder)
    : root_(std::move(folder)), fds_(std::make_unique<Fds>()) {}
OutputFolder::OutputFolder(OutputFolder&&) noexcept = default;
OutputFolder::~OutputFolder() = default;

Result<OutputFolder> OutputFolder::Open(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    if (ec) return ErrnoError("create folder", ec.value(), folder.string());
  }
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return ErrnoError("open", errno, folder.string());
  OutputFolder result(folder);
  result.fds_->by_path.emplace("", std::move(fd));
  return result;
}

void OutputFolder::RemovePartialFileOnSignals() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
    struct sigaction action {};
    action.sa_handler = RemovePartialAndDie;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

Result<int> OutputFolder::Folder(std::string_view relative) {
  auto& cache = fds_->by_path;
  if (auto it = cache.find(std::string(relative)); it != cache.end()) return it->second.get();

  // The deepest folder on the way that is open already (the root at least), then one
  // component at a time from there.
  size_t done = relative.size();
  int start = -1;
  while (start < 0) {
    done = relative.rfind('/', done == 0 ? 0 : done - 1);
    if (done == std::string_view::npos) done = 0;
    if (auto it = cache.find(std::string(relative.substr(0, done))); it != cache.end()) {
      start = it->second.get();
    } else if (done == 0) {
      return ErrnoError("open folder", EBADF, root_.string());
    }
  }
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  UniqueFd current;
  size_t begin = done == 0 ? 0 : done + 1;
  while (begin <= relative.size()) {
    const size_t end = std::min(relative.find('/', begin), relative.size());
    const std::string leaf(relative.substr(begin, end - begin));
    const int parent = current.valid() ? current.get() : start;
    const std::string shown = (root_ / relative.substr(0, end)).string();
    UniqueFd fd(::openat(parent, leaf.c_str(), kFlags));
    if (!fd.valid() && errno == ENOENT) {
      if (::mkdirat(parent, leaf.c_str(), 0777) != 0 && errno != EEXIST) {
        return ErrnoError("create folder", errno, shown);
      }
      fd.reset(::openat(parent, leaf.c_str(), kFlags));
    }
    if (!fd.valid()) {
      const int error = errno;
      struct stat info {};
      if (::fstatat(parent, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(info.st_mode)) {
        return Error{kErrSymbolicLink, shown + " is a symbolic link"};
      }
      return ErrnoError("open folder", error, shown);
    }
    current = std::move(fd);
    begin = end + 1;
  }
  // A run over many folders keeps a bounded number open: when full, all but the root close.
  if (cache.size() >= kMaxOpenFolders) {
    UniqueFd root = std::move(cache[""]);
    cache.clear();
    cache.emplace("", std::move(root));
  }
  const int fd = current.get();
  cache.emplace(std::string(relative), std::move(current));
  return fd;
}

Status OutputFolder::MakeFolder(std::string_view relative) {
  return Folder(relative).status();
}

Result<OutputFile> OutputFolder::CreateFile(std::string_view relative) {
  const auto [parent_path, leaf] = Split(relative);
  Result<int> parent = Folder(parent_path);
  if (!parent.ok()) return parent.error();
  std::string shown = (root_ / relative).string();

  // An existing name: a regular file is replaced once the new bytes are complete (renaming
  // over it never writes through a hard link); a link or a folder is left alone.
  struct stat info {};
  if (::fstatat(*parent, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(info.st_mode)) return Error{kErrSymbolicLink, shown + " is a symbolic link"};
    if (!S_ISREG(info.st_mode)) return ErrnoError("create", EISDIR, shown);
  } else if (errno != ENOENT) {
    return ErrnoError("create", errno, shown);
  }
  UniqueFd folder(::fcntl(*parent, F_DUPFD_CLOEXEC, 0));
  if (!folder.valid()) return ErrnoError("create", errno, shown);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp =
        ".hh-" + std::to_string(::getpid()) + "-" + std::to_string(temp_counter_++) + ".tmp";
    UniqueFd fd(::openat(folder.get(), temp.c_str(), kFlags, 0666));
    if (fd.valid()) {
      return OutputFile(std::move(folder), leaf, std::move(temp), std::move(fd), std::move(shown));
    }
    if (errno != EEXIST) return ErrnoError("create", errno, shown);
  }
  return ErrnoError("create", EEXIST, shown);
}

}  // namespace corvina::workshop
