#include "platform/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace corvina {

Status WriteAll(int fd, std::span<const std::byte> bytes, std::string_view shown) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrnoError("write", errno, shown);
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return Status::Ok();
}

Status WriteAll(int fd, std::string_view bytes, std::string_view shown) {
  return WriteAll(fd, std::as_bytes(std::span(bytes.data(), bytes.size())), shown);
}

Status WriteAll(int fd, std::span<const uint8_t> bytes, std::string_view shown) {
  return WriteAll(fd, std::as_bytes(bytes), shown);
}

}  // namespace corvina
