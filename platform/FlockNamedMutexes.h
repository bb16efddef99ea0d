#pragma once

#include <filesystem>

#include "platform/INamedMutexes.h"

namespace corvina {

// Named mutexes as files of a folder in the user's runtime directory
// ($XDG_RUNTIME_DIR/corvina/mutexes, else $XDG_CONFIG_HOME/corvina/run/mutexes), each hold a
// shared flock on the name's file. The kernel drops a hold with its process, so a crashed
// holder leaves nothing behind; the files themselves stay, empty.
class FlockNamedMutexes : public INamedMutexes {
 public:
  explicit FlockNamedMutexes(std::filesystem::path folder);

  static std::filesystem::path DefaultFolder();

  Result<std::unique_ptr<INamedMutex>> CreateMutex(std::string_view name) override;
  Result<bool> Exists(std::string_view name) override;

 private:
  Result<std::filesystem::path> FileOf(std::string_view name) const;

  std::filesystem::path folder_;
};

}  // namespace corvina
