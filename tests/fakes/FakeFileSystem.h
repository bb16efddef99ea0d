#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/IFileSystem.h"

namespace corvina {

// An in-memory file system: files by full path, folders as a set. fail_writes_with injects a
// failure into every write.
class FakeFileSystem : public IFileSystem {
 public:
  std::map<std::string, std::string> files;  // path -> bytes
  std::set<std::string> folders;
  std::optional<Error> fail_writes_with;

  bool FileExists(std::string_view path) override { return files.contains(std::string(path)); }
  bool FileRunnable(std::string_view path) override { return FileExists(path); }
  bool FolderExists(std::string_view path) override { return folders.contains(std::string(path)); }
  Status DeleteFile(std::string_view path, bool) override {
    if (Status deletable = CheckDeletable(path); !deletable.ok()) return deletable;
    files.erase(std::string(path));
    return Status::Ok();
  }
  Status CheckDeletable(std::string_view path) override {
    if (!FileExists(path)) return Error{kErrFileNotFound, "File not found"};
    return Status::Ok();
  }
  Status CreateNewFile(std::string_view path) override {
    if (FileExists(path) || FolderExists(path)) {
      return Error{kErrFileAlreadyExists, "File already exists"};
    }
    return WriteTextFile(path, "");
  }
  Status CreateFolder(std::string_view path) override {
    if (FolderExists(path)) return Error{kErrFileAlreadyExists, "File already exists"};
    if (!FolderExists(Parent(path))) return Error{kErrPathNotFound, "Path not found"};
    folders.insert(std::string(path));
    return Status::Ok();
  }
  Status WriteTextFile(std::string_view path, std::string_view bytes) override {
    if (fail_writes_with) return *fail_writes_with;
    if (!FolderExists(Parent(path))) return Error{kErrPathNotFound, "Path not found"};
    files[std::string(path)] = bytes;
    return Status::Ok();
  }
  Result<std::vector<std::string>> ListFiles(std::string_view folder) override {
    if (!FolderExists(folder)) return Error{kErrPathNotFound, "Path not found"};
    const std::string prefix = std::string(folder) + "/";
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files) {
      if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos)
        names.push_back(path.substr(prefix.size()));
    }
    return names;
  }

 private:
  static std::string Parent(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash));
  }
};

}  // namespace corvina
