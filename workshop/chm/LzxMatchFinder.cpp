#include "workshop/chm/LzxMatchFinder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "workshop/chm/LzxSlots.h"

namespace corvina::chm {
namespace {

// Hash() and MatchLength() load several bytes at once and take the first differing byte as the
// lowest one.
static_assert(std::endian::native == std::endian::little,
              "the match finder assumes a little-endian machine");

constexpr int kHashBits = 15;
// Estimated bits per literal and per match symbol; a match is taken when it saves bits.
constexpr int kLiteralBits = 6;
constexpr int kMatchSymbolBits = 8;
constexpr int kRepeatSymbolBits = 7;
constexpr int kLengthSymbolBits = 5;

// Chains link positions with equal first four bytes: three-byte matches rarely pay for their
// offset, and shorter chains are much faster to walk.
constexpr uint32_t kHashBytes = 4;
// No chain starts at the last three positions of an interval, so this one is free.
constexpr uint16_t kNoPosition = 0xFFFF;

uint32_t Hash(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return (v * 2654435761u) >> (32 - kHashBits);
}

uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<uint32_t>(std::countr_zero(x ^ y) / 8);
    n += 8;
  }
  while (n < limit && a[n] == b[n])
    ++n;
  return n;
}

int MatchCost(uint32_t length, uint32_t formatted_offset) {
  const int length_bits = length >= 9 ? kLengthSymbolBits : 0;
  if (formatted_offset < 3) return kRepeatSymbolBits + length_bits;
  return kMatchSymbolBits + length_bits + kLzxFooterBits[LzxSlotOf(formatted_offset)];
}

}  // namespace

LzxMatchFinder::LzxMatchFinder(LzxParseOptions options)
    : options_(options), head_(size_t{1} << kHashBits), prev_(kLzxResetSize) {}

void LzxMatchFinder::Insert(uint32_t pos) {
  if (pos + kHashBytes > data_.size()) return;
  const uint32_t h = Hash(data_.data() + pos);
  prev_[pos] = head_[h];
  head_[h] = static_cast<uint16_t>(pos);
}

LzxMatchFinder::Candidate LzxMatchFinder::FindBest(uint32_t pos, uint32_t max_length,
                                                   uint32_t at_least,
                                                   const std::array<uint32_t, 3>& repeats) {
  Candidate best;
  const uint8_t* here = data_.data() + pos;
  for (int i = 0; i < 3; ++i) {
    const uint32_t distance = repeats[i];
    if (distance > pos) continue;
    const uint32_t length = MatchLength(here, here - distance, max_length);
    if (length < kLzxMinMatch) continue;
    const int gain = static_cast<int>(length) * kLiteralBits - MatchCost(length, i);
    if (gain > best.gain) best = {length, distance, gain};
  }
  if (max_length < kHashBytes || pos + kHashBytes > data_.size()) return best;

  uint32_t best_length = std::max<uint32_t>(best.length, std::max<uint32_t>(at_least, 3));
  if (best_length >= max_length) return best;  // nothing longer fits
  uint32_t best_distance = 0;
  int chain = best_length >= static_cast<uint32_t>(options_.good_length) ? options_.max_chain / 4
                                                                         : options_.max_chain;
  for (uint32_t candidate = head_[Hash(here)]; candidate != kNoPosition && chain-- > 0;
       candidate = prev_[candidate]) {
    const uint32_t distance = pos - candidate;
    if (distance > kLzxMaxDistance) break;
    const uint8_t* there = data_.data() + candidate;
    if (there[best_length] != here[best_length] || there[0] != here[0]) continue;
    const uint32_t length = MatchLength(here, there, max_length);
    if (length > best_length) {
      best_length = length;
      best_distance = distance;
      if (length >= max_length || length >= static_cast<uint32_t>(options_.nice_length)) break;
    }
  }
  if (best_distance != 0) {
    uint32_t formatted = best_distance + 2;
    for (int i = 0; i < 3; ++i) {
      if (repeats[i] == best_distance) formatted = static_cast<uint32_t>(i);
    }
    const int gain =
        static_cast<int>(best_length) * kLiteralBits - MatchCost(best_length, formatted);
    if (gain > best.gain) best = {best_length, best_distance, gain};
  }
  return best;
}

void LzxMatchFinder::Parse(std::span<const uint8_t> data, std::vector<LzxItem>& items,
                           std::array<uint32_t, 3>& repeats) {
  data_ = data;
  std::fill(head_.begin(), head_.end(), kNoPosition);
  items.clear();
  repeats = {1, 1, 1};
  const uint32_t size = static_cast<uint32_t>(data.size());

  auto emit_literal = [&](uint32_t pos) { items.push_back({0, data[pos]}); };
  auto emit_match = [&](uint32_t length, uint32_t distance) {
    uint32_t formatted;
    if (distance == repeats[0]) {
      formatted = 0;
    } else if (distance == repeats[1]) {
      formatted = 1;
      std::swap(repeats[0], repeats[1]);
    } else if (distance == repeats[2]) {
      formatted = 2;
      std::swap(repeats[0], repeats[2]);
    } else {
      formatted = distance + 2;
      repeats[2] = repeats[1];
      repeats[1] = repeats[0];
      repeats[0] = distance;
    }
    items.push_back({length, formatted});
  };

  Candidate pending;  // a match found at pos - 1, held back for the lazy step
  uint32_t pos = 0;
  while (pos < size) {
    const uint32_t frame_end = (pos / kLzxFrameSize + 1) * kLzxFrameSize;
    const uint32_t max_length = std::min(kLzxMaxMatch, std::min(frame_end, size) - pos);
    const Candidate current =
        (pending.length >= static_cast<uint32_t>(options_.nice_length) || max_length < 2)
            ? Candidate{}
            : FindBest(pos, max_length, pending.length, repeats);
    Insert(pos);
    if (pending.length != 0) {
      if (current.gain > pending.gain + kLiteralBits) {
        emit_literal(pos - 1);
        pending = current;
        ++pos;
        continue;
      }
      // The pending match covers pos - 1 .. pos - 1 + length - 1; pos is already hashed.
      const uint32_t end = pos - 1 + pending.length;
      emit_match(pending.length, pending.distance);
      for (uint32_t p = pos + 1; p < end; ++p)
        Insert(p);
      pos = end;
      pending = {};
      continue;
    }
    if (current.length == 0) {
      emit_literal(pos);
      ++pos;
      continue;
    }
    if (current.length >= static_cast<uint32_t>(options_.nice_length) || pos + 1 >= frame_end) {
      emit_match(current.length, current.distance);
      for (uint32_t p = pos + 1; p < pos + current.length; ++p)
        Insert(p);
      pos += current.length;
      continue;
    }
    pending = current;
    ++pos;
  }
  if (pending.length != 0) emit_match(pending.length, pending.distance);
}

}  // namespace corvina::chm
