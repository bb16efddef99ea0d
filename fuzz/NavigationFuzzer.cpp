// navigation.txt: every entry's parent comes before it.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "sitehost/NavigationOutline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  const auto entries = sitehost::ParseOutline(fuzz::AsText(data, size));
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].parent >= static_cast<int>(i) || entries[i].parent < -1) __builtin_trap();
  }
  return 0;
}
