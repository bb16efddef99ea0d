#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// Writes every byte to `fd`, going on after short writes and interrupted calls. A failure is
// ErrnoError("write", errno, shown), `shown` naming the file for the message.
Status WriteAll(int fd, std::span<const std::byte> bytes, std::string_view shown);
Status WriteAll(int fd, std::string_view bytes, std::string_view shown);
Status WriteAll(int fd, std::span<const uint8_t> bytes, std::string_view shown);

}  // namespace corvina
