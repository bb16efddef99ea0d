#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

namespace corvina {

Status ReplaceFile(const std::filesystem::path& target, std::string_view bytes) {
  std::string temp =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.valid()) return ErrnoError("create", errno, temp);
  Status status = WriteAll(fd.get(), bytes, temp);
  if (status.ok() && ::fchmod(fd.get(), 0644) != 0) status = ErrnoError("chmod", errno, temp);
  if (status.ok() && ::fsync(fd.get()) != 0) status = ErrnoError("fsync", errno, temp);
  if (status.ok() && ::close(fd.release()) != 0) status = ErrnoError("close", errno, temp);
  if (status.ok() && std::rename(temp.c_str(), target.c_str()) != 0) {
    status = ErrnoError("rename", errno, target.string());
  }
  if (!status.ok()) ::unlink(temp.c_str());
  return status;
}

}  // namespace corvina
