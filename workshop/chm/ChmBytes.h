#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace corvina::chm {

// Little-endian writers for the fixed-layout structures of a .chm.
inline void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void PutU64(std::vector<uint8_t>& out, uint64_t value) {
  for (int i = 0; i < 8; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void PutBytes(std::vector<uint8_t>& out, std::string_view bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
// Makes room for `more` elements, growing by a quarter rather than doubling: a table that
// grows to megabytes would otherwise hold up to twice what it needs, three times while it moves.
template <typename T>
void ReserveGrowingByQuarter(std::vector<T>& out, size_t more) {
  if (out.capacity() - out.size() < more) out.reserve(out.size() + out.size() / 4 + more);
}
inline void SetU16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void SetU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace corvina::chm
