#include "platform/FileStamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/OpenFaults.h"
#include "platform/UniqueFd.h"

namespace corvina {
namespace {

constexpr size_t kFirstRead = 64u << 10;

FileStamp StampOf(const struct stat& status) {
  return FileStamp{
      static_cast<uintmax_t>(status.st_size),
      static_cast<int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
      static_cast<uintmax_t>(status.st_nlink)};
}

Error NotRegular(std::string_view path) {
  return Error{kErrPermissionDenied, "read " + std::string(path) + ": not a regular file"};
}

// Status of `name` in the folder `at` (AT_FDCWD: a path), following symbolic links.
Result<FileStamp> StampAt(int at, const char* name, std::string_view path) {
  struct stat status {};
  if (::fstatat(at, name, &status, 0) != 0) return ErrnoError("status", errno, path);
  if (!S_ISREG(status.st_mode)) return NotRegular(path);
  return StampOf(status);
}

// Opens `name` in the folder `at` (AT_FDCWD: a path) and reads its head.
Result<FileHead> HeadAt(int at, const char* name, std::string_view path, size_t limit) {
  // O_NONBLOCK: opening a pipe must not wait for a writer; the type is checked on the open file.
  UniqueFd fd(::openat(at, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid()) return ErrnoError("read", errno, path);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return ErrnoError("read", errno, path);
  if (!S_ISREG(status.st_mode)) return NotRegular(path);
  FileHead head;
  head.stamp = StampOf(status);
  // The size read at the open is what is read; a file that reports none (as some special file
  // systems do) is read to its end.
  const bool sized = status.st_size > 0;
  head.bytes.resize(sized ? std::min(static_cast<size_t>(status.st_size), limit)
                          : std::min(limit, kFirstRead));
  size_t got = 0;
  while (got < head.bytes.size()) {
    const ssize_t n = ::read(fd.get(), head.bytes.data() + got, head.bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrnoError("read", errno, path);
    if (n == 0) break;
    got += static_cast<size_t>(n);
    if (!sized && got == head.bytes.size()) head.bytes.resize(std::min(limit, got * 2));
  }
  head.bytes.resize(got);
  return head;
}

}  // namespace

Result<FileStamp> ReadFileStamp(const std::filesystem::path& path) {
  return StampAt(AT_FDCWD, path.c_str(), path.native());
}

Result<FileHead> ReadRegularFileHead(const std::filesystem::path& path, size_t limit) {
  if (const int fault = InjectedOpenFault(path)) return ErrnoError("read", fault, path.string());
  return HeadAt(AT_FDCWD, path.c_str(), path.native(), limit);
}

Result<FolderHandle> FolderHandle::Open(const std::filesystem::path& path) {
  if (const int fault = InjectedOpenFault(path)) return ErrnoError("open", fault, path.string());
  FolderHandle folder;
  folder.fd_.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.fd_.valid()) return ErrnoError("open", errno, path.string());
  return folder;
}

Result<FileStamp> ReadFileStamp(const FolderHandle& folder, std::string_view name,
                                std::string_view path) {
  return StampAt(folder.fd_.get(), std::string(name).c_str(), path);
}

Result<FileHead> ReadRegularFileHead(const FolderHandle& folder, std::string_view name,
                                     std::string_view path, size_t limit) {
  if (OpenFaultInstalled()) {
    if (const int fault = InjectedOpenFault(std::filesystem::path(path))) {
      return ErrnoError("read", fault, path);
    }
  }
  return HeadAt(folder.fd_.get(), std::string(name).c_str(), path, limit);
}

Result<FolderStamp> ReadFolderStamp(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return ErrnoError("status", errno, path.string());
  if (!S_ISDIR(status.st_mode)) {
    return Error{kErrPathNotFound, "read " + path.string() + ": not a folder"};
  }
  const auto nanoseconds = [](const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  };
  return FolderStamp{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                     nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

}  // namespace corvina
