#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "workshop/chm/ChmDirectory.h"

namespace corvina::chm {

// Numbers of names in open addressing, the names compared as readers compare them: one word
// per name where a hash set keeps a node and a copy of the name. The owner keeps the names
// and tells the index, through `name_of(number)`, which name a number stands for.
class ChmNameIndex {
 public:
  static constexpr uint32_t kNone = 0xFFFFFFFF;

  // The number of the name equal to `name`, or kNone.
  template <typename NameOf>
  uint32_t Find(std::string_view name, const NameOf& name_of) const {
    if (slots_.empty()) return kNone;
    return slots_[SlotOf(name, name_of)];
  }

  // Adds `number`, whose name is not in the index yet.
  template <typename NameOf>
  void Add(uint32_t number, const NameOf& name_of) {
    if ((used_ + 1) * 2 > slots_.size()) {
      const std::vector<uint32_t> old = std::move(slots_);
      slots_.assign(std::max<size_t>(64, old.size() * 2), kNone);
      for (uint32_t moved : old) {
        if (moved != kNone) slots_[SlotOf(name_of(moved), name_of)] = moved;
      }
    }
    slots_[SlotOf(name_of(number), name_of)] = number;
    ++used_;
  }

 private:
  // The slot that holds `name`, or the empty slot where it would go.
  template <typename NameOf>
  size_t SlotOf(std::string_view name, const NameOf& name_of) const {
    const size_t mask = slots_.size() - 1;
    const size_t hash = ChmNameHash()(name);
    for (size_t i = (hash ^ hash >> 32) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == kNone || ChmNameEqual()(name_of(slots_[i]), name)) return i;
    }
  }

  std::vector<uint32_t> slots_;
  size_t used_ = 0;
};

}  // namespace corvina::chm
