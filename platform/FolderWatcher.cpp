#include "platform/FolderWatcher.h"

#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace corvina {
namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                             IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF |
                             IN_ONLYDIR;

constexpr long kXfsMagic = 0x58465342;
constexpr long kF2fsMagic = 0xF2F52010;

// File systems whose every change passes through this kernel.
bool IsLocalFileSystem(const std::filesystem::path& folder) {
  struct statfs info {};
  if (::statfs(folder.c_str(), &info) != 0) return false;
  switch (static_cast<long>(info.f_type)) {
    case EXT4_SUPER_MAGIC:  // also ext2 and ext3
    case kXfsMagic:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case kF2fsMagic:
    case OVERLAYFS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

}  // namespace

FolderWatcher::FolderWatcher() = default;

FolderWatcher::~FolderWatcher() = default;

int FolderWatcher::Watch(const std::filesystem::path& folder) {
  if (watches_.size() >= kMaxWatches || !IsLocalFileSystem(folder)) return -1;
  if (!fd_.valid()) fd_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd_.valid()) return -1;
  // Fails when the watches allowed to this user are used up: the folder is then looked at.
  const int id = ::inotify_add_watch(fd_.get(), folder.c_str(), kEvents);
  if (id >= 0) watches_.insert(id);
  return id;
}

void FolderWatcher::Unwatch(int id) {
  if (fd_.valid() && watches_.erase(id) > 0) ::inotify_rm_watch(fd_.get(), id);
}

FolderWatcher::Changes FolderWatcher::TakeChanges() {
  Changes changes;
  if (!fd_.valid()) return changes;
  alignas(struct inotify_event) char buffer[16 << 10];
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // EAGAIN: nothing more is queued. Any other failure loses reports.
      if (n < 0 && errno != EAGAIN) changes.all = true;
      return changes;
    }
    for (size_t at = 0; at + sizeof(struct inotify_event) <= static_cast<size_t>(n);) {
      const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
      if (event->mask & IN_Q_OVERFLOW) changes.all = true;
      if (event->wd >= 0) changes.ids.insert(event->wd);
      // The folder is gone (or was unwatched): the kernel dropped the watch itself.
      if (event->mask & IN_IGNORED) watches_.erase(event->wd);
      at += sizeof(struct inotify_event) + event->len;
    }
  }
}

}  // namespace corvina
