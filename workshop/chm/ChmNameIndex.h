#pragma once

#include <cstdint>
#include <string_view>

#include "workshop/chm/ChmDirectory.h"
#include "workshop/chm/ChmNumberSlots.h"

namespace corvina::chm {

// Numbers of names in open addressing, the names compared as readers compare them. The owner
// keeps the names and tells the index, through `name_of(number)`, which name a number stands
// for.
class ChmNameIndex {
 public:
  static constexpr uint32_t kNone = ChmNumberSlots::kNone;

  // The number of the name equal to `name`, or kNone.
  template <typename NameOf>
  uint32_t Find(std::string_view name, const NameOf& name_of) const {
    return slots_.Find(ChmNameHash()(name),
                       [&](uint32_t number) { return ChmNameEqual()(name_of(number), name); });
  }

  // Adds `number`, whose name is not in the index yet.
  template <typename NameOf>
  void Add(uint32_t number, const NameOf& name_of) {
    slots_.Add(number, ChmNameHash()(name_of(number)),
               [&](uint32_t held) { return ChmNameHash()(name_of(held)); });
  }

 private:
  ChmNumberSlots slots_;
};

}  // namespace corvina::chm
