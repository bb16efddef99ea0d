#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace corvina::chm {

// The window of the CHM variant of LZX: 64 KB, named once here; the position slots, the
// longest match distance and the ControlData field follow from it.
inline constexpr uint32_t kLzxWindowSize = 65536;

// Position slots of the window: slot s covers formatted offsets base[s] .. base[s] +
// 2^footer_bits[s] - 1.
inline constexpr int kLzxPositionSlots = 32;
inline constexpr int kLzxMainTreeSize = 256 + 8 * kLzxPositionSlots;
inline constexpr int kLzxLengthTreeSize = 249;
inline constexpr int kLzxPretreeSize = 20;
inline constexpr int kLzxAlignedTreeSize = 8;

inline constexpr std::array<uint8_t, kLzxPositionSlots> kLzxFooterBits = [] {
  std::array<uint8_t, kLzxPositionSlots> bits{};
  for (int s = 0; s < kLzxPositionSlots; ++s)
    bits[s] = s < 4 ? 0 : static_cast<uint8_t>(s / 2 - 1);
  return bits;
}();

inline constexpr std::array<uint32_t, kLzxPositionSlots> kLzxSlotBase = [] {
  std::array<uint32_t, kLzxPositionSlots> base{};
  for (int s = 1; s < kLzxPositionSlots; ++s)
    base[s] = base[s - 1] + (1u << kLzxFooterBits[s - 1]);
  return base;
}();

// The last slot reaches exactly to the end of the window.
static_assert(kLzxSlotBase[kLzxPositionSlots - 1] +
                  (uint32_t{1} << kLzxFooterBits[kLzxPositionSlots - 1]) ==
              kLzxWindowSize);

// Longest code of the main and length trees, of the aligned-offset tree, of the pretree.
inline constexpr int kLzxMaxCodeLength = 16;
inline constexpr int kLzxMaxAlignedCodeLength = 7;
inline constexpr int kLzxMaxPretreeCodeLength = 15;

// The slot of a formatted offset (repeat codes 0..2 or distance + 2).
inline int LzxSlotOf(uint32_t formatted_offset) {
  if (formatted_offset < 4) return static_cast<int>(formatted_offset);
  const int top = 31 - std::countl_zero(formatted_offset);
  return 2 * top + static_cast<int>((formatted_offset >> (top - 1)) & 1);
}

}  // namespace corvina::chm
