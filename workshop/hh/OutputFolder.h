#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace corvina::workshop {

// The number of the error returned when a name would pass through a symbolic link.
inline constexpr int32_t kErrSymbolicLink = 1001;

class OutputFolder;

// A file being written below an output folder, under a temporary name beside its own. It
// appears under its name only when Commit succeeds; a file dropped before that is removed, and
// an older file of that name is kept. While one is open, SIGINT, SIGTERM, SIGHUP and SIGXFSZ
// remove it before they end the process (see OutputFolder::RemovePartialFileOnSignals).
class OutputFile {
 public:
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile();

  Status Write(std::span<const std::byte> bytes);
  Status Commit();

 private:
  friend class OutputFolder;
  OutputFile(UniqueFd folder, std::string leaf, std::string written_name, UniqueFd fd,
             std::string shown);

  UniqueFd folder_;           // the folder holding both names
  std::string leaf_;          // the final name in its folder
  std::string written_name_;  // the temporary name being written; empty once committed
  UniqueFd fd_;
  std::string shown_;  // the path for messages
};

// Writes below one folder and never outside it: every component of a relative name is opened
// relative to its parent without following symbolic links, missing folders are made, and a
// symbolic link on the way (or as the file itself) is refused with kErrSymbolicLink. It keeps
// at most kMaxOpenFolders folders open, however many it writes into, and walks a deep name
// one component at a time without recursion.
class OutputFolder {
 public:
  static constexpr size_t kMaxOpenFolders = 128;

  // Opens the folder, making it (and missing parents) first when needed.
  static Result<OutputFolder> Open(const std::filesystem::path& folder);

  // Installs handlers that remove the file being written when SIGINT, SIGTERM, SIGHUP or
  // SIGXFSZ arrive, then end the process by the same signal.
  static void RemovePartialFileOnSignals();

  OutputFolder(OutputFolder&&) noexcept;
  ~OutputFolder();

  // relative: components joined by "/", each neither empty nor "." nor "..".
  Status MakeFolder(std::string_view relative);
  Result<OutputFile> CreateFile(std::string_view relative);

 private:
  struct Fds;
  explicit OutputFolder(std::filesystem::path folder);
  // The descriptor of a folder below the root, made when missing; valid until the next call.
  Result<int> Folder(std::string_view relative);

  std::filesystem::path root_;
  std::unique_ptr<Fds> fds_;
  unsigned temp_counter_ = 0;
};

}  // namespace corvina::workshop
