#pragma once

#include <cstddef>

namespace corvina {

// From now on, each block of `bytes` or more gets a mapping of its own, which goes back to the
// system as soon as it is freed. A program that builds large buffers one after another then
// holds little more than what it uses at any moment. (The C library's default raises this
// limit to the largest block freed so far, so later large buffers come from the heap, whose
// freed space stays with the process.) No effect where the C library has no such setting.
void KeepLargeBlocksApart(size_t bytes);

}  // namespace corvina
