#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/Status.h"

namespace corvina::workshop {

// The number of the error returned when a name would pass through a symbolic link.
inline constexpr int32_t kErrSymbolicLink = 1001;

class OutputFolder;

// A file being written below an output folder. It appears under its name only when Commit
// succeeds; a file dropped before that is removed, and an older file of that name is kept.
class OutputFile {
 public:
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile();

  Status Write(std::span<const std::byte> bytes);
  Status Commit();

 private:
  friend class OutputFolder;
  OutputFile(int folder_fd, std::string leaf, std::string written_name, int fd, std::string shown);

  int folder_fd_;             // owned by the OutputFolder
  std::string leaf_;          // the final name in its folder
  std::string written_name_;  // the name being written: leaf_, or a temporary beside it
  int fd_;
  std::string shown_;  // the path for messages
};

// Writes below one folder and never outside it: every component of a relative name is opened
// relative to its parent without following symbolic links, missing folders are made, and a
// symbolic link on the way (or as the file itself) is refused with kErrSymbolicLink.
class OutputFolder {
 public:
  // Opens the folder, making it (and missing parents) first when needed.
  static Result<OutputFolder> Open(const std::filesystem::path& folder);

  OutputFolder(OutputFolder&&) noexcept;
  ~OutputFolder();

  // relative: components joined by "/", each neither empty nor "." nor "..".
  Status MakeFolder(std::string_view relative);
  Result<OutputFile> CreateFile(std::string_view relative);

 private:
  struct Fds;
  explicit OutputFolder(std::filesystem::path folder);
  // The descriptor of a folder below the root, made when missing.
  Result<int> Folder(std::string_view relative);

  std::filesystem::path root_;
  std::unique_ptr<Fds> fds_;
  unsigned temp_counter_ = 0;
};

}  // namespace corvina::workshop
