#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "workshop/chm/LzxSlots.h"

namespace corvina::chm {

inline constexpr uint32_t kLzxFrameSize = 32768;
inline constexpr uint32_t kLzxFramesPerReset = 2;
inline constexpr uint32_t kLzxResetSize = kLzxFrameSize * kLzxFramesPerReset;
inline constexpr uint32_t kLzxMinMatch = 2;
inline constexpr uint32_t kLzxMaxMatch = 257;
// Longest distance the window allows.
inline constexpr uint32_t kLzxMaxDistance = kLzxWindowSize - 3;
static_assert(kLzxResetSize <= kLzxWindowSize);

// One parsed element: a literal byte (length 0, value = the byte) or a match (length 2..257,
// value = the formatted offset: 0..2 repeat R0..R2, otherwise distance + 2).
class LzxItem {
 public:
  LzxItem(uint32_t length, uint32_t value) : bits_(length << 17 | value) {}
  uint32_t length() const { return bits_ >> 17; }
  uint32_t value() const { return bits_ & 0x1FFFF; }

 private:
  uint32_t bits_;  // four bytes per item: a parse of 64 KB takes at most 256 KB
};

struct LzxParseOptions {
  int max_chain = 48;     // hash-chain candidates tried per position
  int good_length = 24;   // a match this long cuts the chain search to a quarter
  int nice_length = 128;  // a match this long ends the search and the lazy step
};

// LZ77 parse of one reset interval with hash chains and one-step lazy matching. Matches never
// reach before the interval's first byte, never cross a 32 KB frame end and keep R0-R2 as a
// decoder will. Owns its tables so that one parser serves many intervals.
class LzxMatchFinder {
 public:
  explicit LzxMatchFinder(LzxParseOptions options = {});

  // Parses `data` (at most one reset interval) into `items`; `repeats` receives R0-R2 as they
  // stand after the last item.
  void Parse(std::span<const uint8_t> data, std::vector<LzxItem>& items,
             std::array<uint32_t, 3>& repeats);

 private:
  struct Candidate {
    uint32_t length = 0;
    uint32_t distance = 0;
    int gain = 0;
  };
  // The best match at `pos`; chain candidates must be longer than `at_least` to count.
  Candidate FindBest(uint32_t pos, uint32_t max_length, uint32_t at_least,
                     const std::array<uint32_t, 3>& repeats);
  void Insert(uint32_t pos);

  LzxParseOptions options_;
  std::span<const uint8_t> data_;
  // Positions in the interval; kNoPosition ends a chain.
  std::vector<uint16_t> head_;
  std::vector<uint16_t> prev_;
};

}  // namespace corvina::chm
