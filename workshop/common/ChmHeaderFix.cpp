#include "workshop/common/ChmHeaderFix.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/UniqueFd.h"

namespace corvina::workshop {
namespace {

constexpr size_t kItsfLength = 0x60;
constexpr size_t kGuid2Offset = 0x28;
constexpr size_t kDirectoryOffsetField = 0x48;
constexpr size_t kItspLength = 0x54;
constexpr size_t kFirstListingField = 0x20;
constexpr uint8_t kGuid2[16] = {0x11, 0xfd, 0x01, 0x7c, 0xaa, 0x7b, 0xd0, 0x11,
                                0x9e, 0x0c, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec};

uint64_t ReadLe(const uint8_t* bytes, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = (value << 8) | bytes[i];
  return value;
}

Error Broken(const std::filesystem::path& chm, std::string_view what) {
  return Error{kErrDeviceIO, chm.string() + ": " + std::string(what)};
}

bool ReadAt(int fd, void* buffer, size_t size, off_t offset) {
  return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

bool WriteAt(int fd, const void* buffer, size_t size, off_t offset) {
  return ::pwrite(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

}  // namespace

Status FixChmcmdHeader(const std::filesystem::path& chm) {
  UniqueFd fd(::open(chm.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd.valid()) return ErrnoError("open", errno, chm.string());
  std::array<uint8_t, kItsfLength> itsf;
  if (!ReadAt(fd.get(), itsf.data(), itsf.size(), 0) || std::memcmp(itsf.data(), "ITSF", 4) != 0) {
    return Broken(chm, "not a compiled help file (no ITSF header)");
  }
  const uint8_t* guid1 = itsf.data() + 0x18;
  const uint8_t* guid2 = itsf.data() + kGuid2Offset;
  if (std::memcmp(guid2, kGuid2, sizeof kGuid2) != 0) {
    // Only the known fault is mended: a second GUID that repeats the first.
    if (std::memcmp(guid1, guid2, 16) != 0) return Broken(chm, "unknown ITSF header GUID");
    if (!WriteAt(fd.get(), kGuid2, sizeof kGuid2, kGuid2Offset)) {
      return ErrnoError("write", errno, chm.string());
    }
  }

  const uint64_t directory = ReadLe(itsf.data() + kDirectoryOffsetField, 8);
  std::array<uint8_t, kItspLength> itsp;
  if (!ReadAt(fd.get(), itsp.data(), itsp.size(), static_cast<off_t>(directory)) ||
      std::memcmp(itsp.data(), "ITSP", 4) != 0) {
    return Broken(chm, "no ITSP directory header");
  }
  const uint32_t first_listing = static_cast<uint32_t>(ReadLe(itsp.data() + kFirstListingField, 4));
  if (first_listing != 0) {
    // Listing chunks come first, so chunk 0 is a listing chunk whenever it says so.
    char signature[4];
    if (!ReadAt(fd.get(), signature, sizeof signature,
                static_cast<off_t>(directory + kItspLength)) ||
        std::memcmp(signature, "PMGL", 4) != 0) {
      return Broken(chm, "directory chunk 0 is not a listing chunk");
    }
    const uint8_t zero[4] = {0, 0, 0, 0};
    if (!WriteAt(fd.get(), zero, sizeof zero, static_cast<off_t>(directory + kFirstListingField))) {
      return ErrnoError("write", errno, chm.string());
    }
  }
  if (::fsync(fd.get()) != 0) return ErrnoError("fsync", errno, chm.string());
  return Status::Ok();
}

}  // namespace corvina::workshop
