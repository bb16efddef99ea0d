#include "platform/ProcessMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <climits>

namespace corvina {

void KeepLargeBlocksApart(size_t bytes) {
#if defined(__GLIBC__)
  // Setting the limit also stops the library from moving it.
  mallopt(M_MMAP_THRESHOLD, bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes));
#else
  (void)bytes;
#endif
}

}  // namespace corvina
