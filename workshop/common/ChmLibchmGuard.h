#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvina::workshop {

struct ChmEntry;

// The directory chunks of a .chm as read from the file, with the ITSP fields that libchm's
// look-up uses.
struct ChmDirectoryView {
  std::span<const unsigned char> chunks;  // chunk_count chunks of chunk_size bytes
  uint32_t chunk_size = 0;
  uint32_t chunk_count = 0;
  int32_t index_root = -1;  // ITSP 0x1C
  int32_t index_head = 0;   // ITSP 0x20
};

// What libchm trusts in a .chm without checking it, checked before it is given the file:
// the index chunks its look-up walks (every entry inside its chunk, every child a chunk of the
// directory, no child leading back to a chunk on the way to it, so no look-up can loop) and
// the compressed section's ControlData and ResetTable (no division by zero, no frame longer
// than its buffer, no allocation beyond one frame). A file that fails gets its reason.
class ChmLibchmGuard {
 public:
  // Checks the index tree from the root that libchm starts at. Empty when it is sound.
  static std::optional<std::string> CheckIndexTree(const ChmDirectoryView& directory);

  // The entry that libchm's look-up finds for name (the same walk, the same letter-case
  // folding), on a directory that passed CheckIndexTree.
  static std::optional<ChmEntry> LookUp(const ChmDirectoryView& directory, std::string_view name);

  // Reads size bytes at offset of the file; false when the file ends first.
  using ReadAt = bool (*)(void* context, uint64_t offset, unsigned char* out, size_t size);

  // Checks the compressed section as libchm will read it. On success, frames() gives the
  // number of 32 KB frames that libchm can decode (0: compressed files cannot be read).
  std::optional<std::string> CheckCompression(const ChmDirectoryView& directory,
                                              uint64_t data_offset, uint64_t file_size, ReadAt read,
                                              void* context);
  uint64_t frames() const { return frames_; }

  // True when libchm can give every byte of a compressed entry from frames it can decode.
  bool CompressedRangeReadable(const ChmEntry& entry) const;

 private:
  uint64_t frames_ = 0;
};

}  // namespace corvina::workshop
