#pragma once

#include <cstddef>
#include <filesystem>
#include <unordered_set>

#include "platform/UniqueFd.h"

namespace corvina {

// Tells which watched folders changed since it was last asked: an entry added, removed or
// renamed, a file in the folder written, truncated or given other times or mode, the folder
// itself moved or removed. The kernel reports these as they happen, so nothing is missed
// however fast the changes follow one another. Only folders on local file systems are
// watched: a network or user-space file system does not report what other machines or
// programs change, so Watch() refuses those and the caller must look for itself.
class FolderWatcher {
 public:
  FolderWatcher();
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  // Starts watching the folder (following a symbolic link to it); returns the watch's id, or
  // -1 when it cannot be watched. The same folder gives the same id. Watches are a resource
  // that all of the user's programs share, so one watcher holds at most kMaxWatches.
  int Watch(const std::filesystem::path& folder);
  void Unwatch(int id);

  static constexpr size_t kMaxWatches = 2048;

  struct Changes {
    std::unordered_set<int> ids;  // the watches that saw a change
    bool all = false;             // reports were lost: every folder counts as changed
  };
  // What changed since the last call, or since its watch began. A change made before this call
  // returns is always among them.
  Changes TakeChanges();

 private:
  UniqueFd fd_;
  std::unordered_set<int> watches_;
};

}  // namespace corvina
