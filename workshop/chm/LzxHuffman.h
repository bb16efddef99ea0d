#pragma once

#include <cstdint>
#include <span>

namespace corvina::chm {

// Builds code lengths for `counts` that form a complete prefix code no longer than
// `max_length` bits. Unused symbols get length 0. A single used symbol gets length 1 and a
// second symbol length 1 as well, so that the code stays complete; with no used symbol every
// length is 0.
void BuildHuffmanLengths(std::span<const uint32_t> counts, int max_length,
                         std::span<uint8_t> lengths);

// Canonical codes for `lengths`: shorter codes first, then by symbol number.
void BuildHuffmanCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes);

}  // namespace corvina::chm
