#pragma once

#include <string>
#include <utility>

#include "shared/HostObjects.h"

namespace corvina {

// A folder of a folder-backed site; its location is its local path (/home/a/My Site).
class FolderWebFolder : public IWebFolder {
 public:
  explicit FolderWebFolder(std::string path) : path_(std::move(path)) {}
  std::string Url() override { return path_; }

 private:
  std::string path_;
};

}  // namespace corvina
