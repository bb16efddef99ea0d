#include "platform/Status.h"

#include <cerrno>
#include <cstring>

namespace corvina {

Error ErrnoError(std::string_view operation, int errno_value, std::string_view path) {
  int32_t number = kErrDeviceIO;
  switch (errno_value) {
    case ENOENT:
      number = kErrFileNotFound;
      break;
    case ENOTDIR:
      number = kErrPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      number = kErrPermissionDenied;
      break;
    case EEXIST:
      number = kErrFileAlreadyExists;
      break;
    case EINVAL:
    case ENAMETOOLONG:
      number = kErrInvalidArgument;
      break;
    default:
      break;
  }
  std::string text(operation);
  if (!path.empty()) {
    text += " ";
    text += path;
  }
  text += ": ";
  text += std::strerror(errno_value);
  return Error{number, std::move(text)};
}

}  // namespace corvina
