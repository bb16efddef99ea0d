#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvina::workshop {

struct ChmEntry;

// Little-endian readers for the fixed-layout structures of a .chm.
inline uint32_t Dword(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint64_t Qword(const unsigned char* p) {
  return uint64_t{Dword(p)} | uint64_t{Dword(p + 4)} << 32;
}

// An ENCINT: 7-bit groups, most significant first, bit 7 set on every byte but the last.
// False when it runs past end or is longer than any 64-bit value needs.
inline bool ReadEncint(const unsigned char*& p, const unsigned char* end, uint64_t& value) {
  value = 0;
  for (int i = 0; i < 10; ++i) {
    if (p >= end) return false;
    unsigned char byte = *p++;
    value = (value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

inline constexpr size_t kPmglHeader = 0x14;
inline constexpr size_t kPmgiHeader = 0x08;

// Parses the entries of one listing (PMGL) chunk. Returns false when an entry runs past the
// end of the chunk's used area; the entries before it are kept.
bool ParseListingChunk(const unsigned char* chunk, size_t chunk_size,
                       std::vector<ChmEntry>& entries);

}  // namespace corvina::workshop
