#pragma once

#include "platform/IFileSystem.h"

namespace corvina {

// The file-system object on POSIX. A file counts as locked when another process holds an
// advisory lock (flock) on it, as our help viewer does while it shows the file.
class PosixFileSystem : public IFileSystem {
 public:
  bool FileExists(std::string_view path) override;
  bool FileRunnable(std::string_view path) override;
  bool FolderExists(std::string_view path) override;
  Status DeleteFile(std::string_view path, bool force) override;
  Status CheckDeletable(std::string_view path) override;
  Status CreateNewFile(std::string_view path) override;
  Status CreateFolder(std::string_view path) override;
  Status WriteTextFile(std::string_view path, std::string_view bytes) override;
  Result<std::vector<std::string>> ListFiles(std::string_view folder) override;
};

}  // namespace corvina
