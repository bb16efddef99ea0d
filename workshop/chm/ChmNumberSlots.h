#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvina::chm {

// Numbers in open addressing: a power of two slots, at most half full, one word per number
// where a hash set keeps a node and a copy of the key. The owner keeps what each number stands
// for; a call gives the hash of what is sought and a test of whether a number is it.
class ChmNumberSlots {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFF;

  // The number that `matches(number)` accepts among those added with `hash`, or kNone.
  template <typename Matches>
  uint32_t Find(size_t hash, const Matches& matches) const {
    if (slots_.empty()) return kNone;
    return slots_[SlotOf(hash, matches)];
  }

  // Adds `number`, which is not held yet, under `hash`; `hash_of(number)` gives the hash of a
  // number held, for when the slots grow.
  template <typename HashOf>
  void Add(uint32_t number, size_t hash, const HashOf& hash_of) {
    const auto empty = [](uint32_t) { return false; };
    if ((used_ + 1) * 2 > slots_.size()) {
      const std::vector<uint32_t> old = std::move(slots_);
      slots_.assign(std::max<size_t>(64, old.size() * 2), kNone);
      for (const uint32_t moved : old) {
        if (moved != kNone) slots_[SlotOf(hash_of(moved), empty)] = moved;
      }
    }
    slots_[SlotOf(hash, empty)] = number;
    ++used_;
  }

 private:
  // The slot that holds the number `matches` accepts, or the empty slot where it would go.
  template <typename Matches>
  size_t SlotOf(size_t hash, const Matches& matches) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = (hash ^ hash >> 32) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == kNone || matches(slots_[i])) return i;
    }
  }

  std::vector<uint32_t> slots_;
  size_t used_ = 0;
};

}  // namespace corvina::chm
