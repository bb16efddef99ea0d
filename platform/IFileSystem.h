#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace corvina {

// The file-system object: existence, deletion, folders, 8-bit text files, folder listings.
// Paths are UTF-8. Deleting a read-only file without force, or a file that a viewer of ours
// holds locked, fails with error 70 ("Permission denied"), as on Windows.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  virtual bool FileExists(std::string_view path) = 0;
  // True when the file exists and this process may run it.
  virtual bool FileRunnable(std::string_view path) = 0;
  virtual bool FolderExists(std::string_view path) = 0;
  virtual Status DeleteFile(std::string_view path, bool force) = 0;
  // Fails as DeleteFile(path, false) would (70 for a read-only or locked file, 53 for none),
  // but deletes nothing.
  virtual Status CheckDeletable(std::string_view path) = 0;
  // Creates a new, empty file; fails with 58 ("File already exists") when the name is taken,
  // in one step, so that two callers never get the same name.
  virtual Status CreateNewFile(std::string_view path) = 0;
  // Creates one folder; its parent must exist.
  virtual Status CreateFolder(std::string_view path) = 0;
  // Creates or empties the file and writes the bytes as they are (already encoded). Never
  // writes through a symbolic link.
  virtual Status WriteTextFile(std::string_view path, std::string_view bytes) = 0;
  // Names of the files directly in the folder (no subfolders, no hidden files), sorted.
  virtual Result<std::vector<std::string>> ListFiles(std::string_view folder) = 0;
};

}  // namespace corvina
