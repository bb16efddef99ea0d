#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/Status.h"

namespace corvina {

// A regular file's size and modification time (nanoseconds): two reads of an unchanged file
// give equal stamps.
struct FileStamp {
  uintmax_t size = 0;
  int64_t written = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the regular file at `path`, following symbolic links, in one status call.
// Fails when it does not exist or is not a regular file.
Result<FileStamp> ReadFileStamp(const std::filesystem::path& path);

struct FileHead {
  std::string bytes;  // the first `limit` bytes (all of a shorter file)
  FileStamp stamp;    // taken from the open file, before its bytes are read
};

// Reads the start of a regular file and its stamp with one open and one status call. Anything
// else (a folder, a pipe that would wait for a writer, a device) fails without blocking.
Result<FileHead> ReadRegularFileHead(const std::filesystem::path& path, size_t limit);

}  // namespace corvina
