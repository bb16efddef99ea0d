#include "workshop/hh/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace corvina::workshop {
namespace {

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

// Open descriptors of the root ("") and of every folder below it used so far.
struct OutputFolder::Fds {
  std::map<std::string, int, std::less<>> by_path;
  ~Fds() {
    for (auto& [path, fd] : by_path)
      CloseFd(fd);
  }
};

OutputFile::OutputFile(int folder_fd, std::string leaf, std::string written_name, int fd,
                       std::string shown)
    : folder_fd_(folder_fd),
      leaf_(std::move(leaf)),
      written_name_(std::move(written_name)),
      fd_(fd),
      shown_(std::move(shown)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_fd_(other.folder_fd_),
      leaf_(std::move(other.leaf_)),
      written_name_(std::move(other.written_name_)),
      fd_(std::exchange(other.fd_, -1)),
      shown_(std::move(other.shown_)) {
  other.written_name_.clear();
}

OutputFile::~OutputFile() {
  if (written_name_.empty()) return;
  CloseFd(fd_);
  ::unlinkat(folder_fd_, written_name_.c_str(), 0);
}

Status OutputFile::Write(std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    ssize_t done = ::write(fd_, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return ErrnoError("write", errno, shown_);
    bytes = bytes.subspan(static_cast<size_t>(done));
  }
  return Status::Ok();
}

Status OutputFile::Commit() {
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) return ErrnoError("write", errno, shown_);
  if (written_name_ != leaf_ &&
      ::renameat(folder_fd_, written_name_.c_str(), folder_fd_, leaf_.c_str()) != 0) {
    return ErrnoError("rename", errno, shown_);
  }
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
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrnoError("open", errno, folder.string());
  OutputFolder result(folder);
  result.fds_->by_path.emplace("", fd);
  return result;
}

Result<int> OutputFolder::Folder(std::string_view relative) {
  if (auto it = fds_->by_path.find(relative); it != fds_->by_path.end()) return it->second;
  size_t slash = relative.rfind('/');
  std::string_view parent_path = slash == std::string_view::npos ? "" : relative.substr(0, slash);
  std::string leaf(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
  Result<int> parent = Folder(parent_path);
  if (!parent.ok()) return parent;
  const std::string shown = (root_ / relative).string();

  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(*parent, leaf.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) {
    if (::mkdirat(*parent, leaf.c_str(), 0777) != 0 && errno != EEXIST) {
      return ErrnoError("create folder", errno, shown);
    }
    fd = ::openat(*parent, leaf.c_str(), kFlags);
  }
  if (fd < 0) {
    int error = errno;
    struct stat info {};
    if (::fstatat(*parent, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
      return Error{kErrSymbolicLink, shown + " is a symbolic link"};
    }
    return ErrnoError("open folder", error, shown);
  }
  fds_->by_path.emplace(std::string(relative), fd);
  return fd;
}

Status OutputFolder::MakeFolder(std::string_view relative) {
  return Folder(relative).status();
}

Result<OutputFile> OutputFolder::CreateFile(std::string_view relative) {
  size_t slash = relative.rfind('/');
  std::string_view parent_path = slash == std::string_view::npos ? "" : relative.substr(0, slash);
  std::string leaf(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
  Result<int> parent = Folder(parent_path);
  if (!parent.ok()) return parent.error();
  std::string shown = (root_ / relative).string();

  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(*parent, leaf.c_str(), kFlags, 0666);
  if (fd >= 0) return OutputFile(*parent, leaf, leaf, fd, std::move(shown));
  if (errno != EEXIST) return ErrnoError("create", errno, shown);

  // An existing name: a regular file is replaced once the new bytes are complete (renaming
  // over it never writes through a hard link); a link or a folder is left alone.
  struct stat info {};
  if (::fstatat(*parent, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return ErrnoError("create", errno, shown);
  }
  if (S_ISLNK(info.st_mode)) return Error{kErrSymbolicLink, shown + " is a symbolic link"};
  if (!S_ISREG(info.st_mode)) return ErrnoError("create", EISDIR, shown);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp =
        ".hh-" + std::to_string(::getpid()) + "-" + std::to_string(temp_counter_++) + ".tmp";
    fd = ::openat(*parent, temp.c_str(), kFlags, 0666);
    if (fd >= 0) return OutputFile(*parent, leaf, temp, fd, std::move(shown));
    if (errno != EEXIST) return ErrnoError("create", errno, shown);
  }
  return ErrnoError("create", EEXIST, shown);
}

}  // namespace corvina::workshop
