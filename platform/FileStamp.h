#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace corvina {

// A regular file's size, modification time (nanoseconds) and number of names: two reads of an
// unchanged file give equal stamps.
struct FileStamp {
  uintmax_t size = 0;
  int64_t written = 0;
  // More than one: the file can also change through a name in another folder.
  uintmax_t names = 1;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the regular file at `path`, following symbolic links, in one status call.
// Fails when it does not exist or is not a regular file.
Result<FileStamp> ReadFileStamp(const std::filesystem::path& path);

// A folder's identity and the times its entries and its attributes last changed.
struct FolderStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t modified = 0;  // nanoseconds
  int64_t changed = 0;   // nanoseconds
  bool operator==(const FolderStamp&) const = default;
};

// The stamp of the folder at `path`, following symbolic links. Fails for anything else.
Result<FolderStamp> ReadFolderStamp(const std::filesystem::path& path);

struct FileHead {
  std::string bytes;  // the first `limit` bytes (all of a shorter file)
  FileStamp stamp;    // taken from the open file, before its bytes are read
};

// Reads the start of a regular file and its stamp with one open and one status call. Anything
// else (a folder, a pipe that would wait for a writer, a device) fails without blocking.
Result<FileHead> ReadRegularFileHead(const std::filesystem::path& path, size_t limit);

// An open folder, through which the files in it are read by name without walking the
// folder's path again. Move-only; closes the folder when destroyed.
class FolderHandle {
 public:
  FolderHandle() = default;

  // Fails when `path` is no folder or cannot be opened.
  static Result<FolderHandle> Open(const std::filesystem::path& path);
  bool valid() const { return fd_.valid(); }

 private:
  friend Result<FileStamp> ReadFileStamp(const FolderHandle&, std::string_view, std::string_view);
  friend Result<FileHead> ReadRegularFileHead(const FolderHandle&, std::string_view,
                                              std::string_view, size_t);
  UniqueFd fd_;
};

// As the calls above, for the file `name` in the open folder; `path` is the file's whole path,
// which messages and injected open faults (OpenFaults.h) name.
Result<FileStamp> ReadFileStamp(const FolderHandle& folder, std::string_view name,
                                std::string_view path);
Result<FileHead> ReadRegularFileHead(const FolderHandle& folder, std::string_view name,
                                     std::string_view path, size_t limit);

}  // namespace corvina
