#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace corvina::chm {

// Stores `data` compressed in a .chm written in `folder`, as one file or cut into several
// (the cut points derive from the data), reads it back through libchm and libmspack and
// compares. Returns an empty text when both readers give back every byte, else what differs.
std::string CheckLzxRoundTrip(std::span<const uint8_t> data, const std::filesystem::path& folder,
                              int threads = 1);

}  // namespace corvina::chm
