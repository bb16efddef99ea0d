#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Status.h"

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

}  // namespace corvina
