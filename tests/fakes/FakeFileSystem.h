#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/IFileSystem.h"

namespace corvina {

// An in-memory file system: files by full path, folders as a set. Read-only and locked files
// fail deletion with 70 as the real one does; a flag injects a failure into every write.
class FakeFileSystem : public IFileSystem {
 public:
  std::map<std::string, std::string> files;  // path -> bytes
  std::set<std::string> folders;
  std::set<std::string> read_only;
  std::set<std::string> locked;
  std::set<std::string> not_runnable;  // files that exist but may not be run
  std::optional<Error> fail_writes_with;
  std::vector<std::string> deleted;  // every path deleted, in order

  bool FileExists(std::string_view path) override { return files.count(std::string(path)) > 0; }
  bool FileRunnable(std::string_view path) override {
    return FileExists(path) && !not_runnable.count(std::string(path));
  }
  bool FolderExists(std::string_view path) override { return folders.count(std::string(path)) > 0; }
  Status DeleteFile(std::string_view path, bool force) override {
    const std::string name(path);
    if (!files.count(name)) return Error{kErrFileNotFound, "File not found"};
    if (locked.count(name) || (!force && read_only.count(name))) {
      return Error{kErrPermissionDenied, "Permission denied"};
    }
    files.erase(name);
    deleted.push_back(name);
    return Status::Ok();
  }
  Status CheckDeletable(std::string_view path) override {
    const std::string name(path);
    if (!files.count(name)) return Error{kErrFileNotFound, "File not found"};
    if (locked.count(name) || read_only.count(name)) {
      return Error{kErrPermissionDenied, "Permission denied"};
    }
    return Status::Ok();
  }
  Status CreateNewFile(std::string_view path) override {
    const std::string name(path);
    if (files.count(name) || folders.count(name)) {
      return Error{kErrFileAlreadyExists, "File already exists"};
    }
    if (fail_writes_with) return *fail_writes_with;
    if (!folders.count(Parent(name))) return Error{kErrPathNotFound, "Path not found"};
    files[name] = "";
    return Status::Ok();
  }
  Status CreateFolder(std::string_view path) override {
    const std::string name(path);
    if (folders.count(name)) return Error{kErrFileAlreadyExists, "File already exists"};
    if (!folders.count(Parent(name))) return Error{kErrPathNotFound, "Path not found"};
    folders.insert(name);
    return Status::Ok();
  }
  Status WriteTextFile(std::string_view path, std::string_view bytes) override {
    if (fail_writes_with) return *fail_writes_with;
    const std::string name(path);
    if (!folders.count(Parent(name))) return Error{kErrPathNotFound, "Path not found"};
    files[name] = std::string(bytes);
    return Status::Ok();
  }
  Result<std::vector<std::string>> ListFiles(std::string_view folder) override {
    const std::string prefix = std::string(folder) + "/";
    if (!folders.count(std::string(folder))) return Error{kErrPathNotFound, "Path not found"};
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files) {
      if (path.starts_with(prefix) && path.find('/', prefix.size()) == std::string::npos) {
        names.push_back(path.substr(prefix.size()));
      }
    }
    return names;
  }

 private:
  static std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
  }
};

}  // namespace corvina
