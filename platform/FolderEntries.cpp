#include "platform/FolderEntries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/OpenFaults.h"

namespace corvina {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

FolderEntry::Type TypeOfMode(mode_t mode) {
  if (S_ISLNK(mode)) return FolderEntry::Type::kLink;
  if (S_ISDIR(mode)) return FolderEntry::Type::kFolder;
  if (S_ISREG(mode)) return FolderEntry::Type::kFile;
  return FolderEntry::Type::kOther;
}

Error FolderError(const std::filesystem::path& path, int number) {
  return ErrnoError("read folder", number, path.string());
}

}  // namespace

Result<FolderEntries> ListFolderEntries(const std::filesystem::path& path) {
  if (const int fault = InjectedOpenFault(path)) return FolderError(path, fault);
  std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
  if (!dir) return FolderError(path, errno);
  FolderEntries listing;
  for (;;) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) listing.error = FolderError(path, errno);
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    FolderEntry::Type type = FolderEntry::Type::kOther;
    switch (entry->d_type) {
      case DT_REG:
        type = FolderEntry::Type::kFile;
        break;
      case DT_DIR:
        type = FolderEntry::Type::kFolder;
        break;
      case DT_LNK:
        type = FolderEntry::Type::kLink;
        break;
      case DT_UNKNOWN: {
        struct stat status {};
        if (::fstatat(::dirfd(dir.get()), name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
          type = TypeOfMode(status.st_mode);
        }
        break;
      }
      default:
        break;
    }
    listing.entries.push_back(FolderEntry{name, type});
  }
  return listing;
}

}  // namespace corvina
