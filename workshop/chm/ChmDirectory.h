#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::chm {

inline constexpr uint32_t kChmChunkSize = 4096;
inline constexpr uint32_t kChmItspHeaderSize = 0x54;

// One name of the archive and where its bytes are: section 0 (stored) or 1 (compressed).
struct ChmDirectoryEntry {
  std::string name;
  uint32_t section = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Orders names as readers search them: byte by byte after folding ASCII upper case to lower
// case, a prefix first. Returns <0, 0 or >0.
int CompareChmNames(std::string_view a, std::string_view b);

// The name as the comparison sees it (ASCII letters folded to lower case).
std::string FoldChmName(std::string_view name);

// Hash and equality of names as readers compare them, for unordered containers.
struct ChmNameHash {
  size_t operator()(std::string_view name) const;
};
struct ChmNameEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return CompareChmNames(a, b) == 0;
  }
};

// Appends an ENCINT: 7-bit groups, most significant first, bit 7 set on all but the last.
void AppendEncInt(std::vector<uint8_t>& out, uint64_t value);

// The directory: ITSP header, listing chunks (PMGL) and, when there is more than one of them,
// index chunks (PMGI) level by level up to a single root. `entries` must be sorted with
// CompareChmNames and free of equal names.
struct ChmDirectory {
  std::vector<uint8_t> bytes;
  uint32_t listing_chunks = 0;
  uint32_t index_chunks = 0;
};
ChmDirectory BuildChmDirectory(const std::vector<const ChmDirectoryEntry*>& entries, uint32_t lcid);
ChmDirectory BuildChmDirectory(const std::vector<ChmDirectoryEntry>& entries, uint32_t lcid);

}  // namespace corvina::chm
