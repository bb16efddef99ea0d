#include "platform/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/FolderEntries.h"
#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

namespace corvina {
namespace {

// The messages name the path they are about, so that a user knows which file is meant.
Error PermissionDenied(std::string_view path) {
  return Error{kErrPermissionDenied, "Permission denied: " + std::string(path)};
}

Error PathNotFound(std::string_view path) {
  return Error{kErrPathNotFound, "Path not found: " + std::string(path)};
}

Error FileNotFound(std::string_view path) {
  return Error{kErrFileNotFound, "File not found: " + std::string(path)};
}

// A viewer of ours holds the file with an exclusive lock while it shows it.
bool IsLocked(const std::string& name) {
  UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  return fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace

bool PosixFileSystem::FileExists(std::string_view path) {
  struct stat st;
  return ::stat(std::string(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::FileRunnable(std::string_view path) {
  const std::string name(path);
  return FileExists(name) && ::access(name.c_str(), X_OK) == 0;
}

bool PosixFileSystem::FolderExists(std::string_view path) {
  struct stat st;
  return ::stat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status PosixFileSystem::CheckDeletable(std::string_view path) {
  const std::string name(path);
  struct stat st;
  if (name.empty() || ::lstat(name.c_str(), &st) != 0) return FileNotFound(name);
  if (S_ISDIR(st.st_mode)) return FileNotFound(name);
  // A read-only file is deleted only when forced, as on Windows; a locked one never.
  if (S_ISREG(st.st_mode) && ((st.st_mode & S_IWUSR) == 0 || IsLocked(name))) {
    return PermissionDenied(name);
  }
  return Status::Ok();
}

Status PosixFileSystem::DeleteFile(std::string_view path, bool force) {
  Status deletable = CheckDeletable(path);
  // Forcing deletes a read-only file, never a locked one.
  if (!deletable.ok() &&
      !(force && deletable.number() == kErrPermissionDenied && !IsLocked(std::string(path)))) {
    return deletable;
  }
  if (::unlink(std::string(path).c_str()) != 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == EBUSY) {
      return PermissionDenied(path);
    }
    return ErrnoError("delete", errno, path);
  }
  return Status::Ok();
}

Status PosixFileSystem::CreateNewFile(std::string_view path) {
  const std::string name(path);
  UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (fd.valid()) return Status::Ok();
  if (errno == EEXIST) return Error{kErrFileAlreadyExists, "File already exists: " + name};
  if (errno == ENOENT || errno == ENOTDIR) return PathNotFound(name);
  if (errno == EACCES || errno == EPERM || errno == EROFS) return PermissionDenied(name);
  return ErrnoError("create", errno, path);
}

Status PosixFileSystem::CreateFolder(std::string_view path) {
  const std::string name(path);
  if (::mkdir(name.c_str(), 0777) != 0) {
    if (errno == EEXIST) return Error{kErrFileAlreadyExists, "File already exists: " + name};
    if (errno == ENOENT) return PathNotFound(name);
    if (errno == EACCES || errno == EPERM || errno == EROFS) return PermissionDenied(name);
    return ErrnoError("create folder", errno, path);
  }
  return Status::Ok();
}

Status PosixFileSystem::WriteTextFile(std::string_view path, std::string_view bytes) {
  const std::string name(path);
  if (name.empty()) return Error{kErrInvalidArgument, "Bad file name or number"};
  UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return PathNotFound(name);
    if (errno == EACCES || errno == EPERM || errno == EROFS) return PermissionDenied(name);
    return ErrnoError("open", errno, path);
  }
  if (Status written = WriteAll(fd.get(), bytes, path); !written.ok()) return written;
  if (::close(fd.release()) != 0) return ErrnoError("close", errno, path);
  return Status::Ok();
}

Result<std::vector<std::string>> PosixFileSystem::ListFiles(std::string_view folder) {
  const std::string name(folder);
  Result<FolderEntries> listing = ListFolderEntries(name);
  if (!listing.ok()) {
    const int32_t number = listing.error().number;
    if (number == kErrFileNotFound || number == kErrPathNotFound) return PathNotFound(name);
    return listing.error();
  }
  FolderEntries& found = listing.value();
  if (found.error) return *found.error;
  std::vector<std::string> files;
  for (FolderEntry& entry : found.entries) {
    if (entry.name.front() == '.') continue;
    if (entry.type == FolderEntry::Type::kFolder) continue;
    // A link counts as the file it points at; an entry of unknown type is looked at once.
    struct stat st;
    if (entry.type != FolderEntry::Type::kFile &&
        (::stat((name + "/" + entry.name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
      continue;
    }
    files.push_back(std::move(entry.name));
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace corvina
