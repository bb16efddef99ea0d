#include "workshop/chm/ChmDirectory.h"

#include <algorithm>
#include <string>

#include "workshop/chm/ChmBytes.h"

namespace corvina::chm {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kQuickRefInterval = 5;  // 1 + 2^density, density 2
constexpr uint32_t kListingHeader = 20;
constexpr uint32_t kIndexHeader = 8;

uint8_t Fold(uint8_t c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c;
}

// Fills chunks with encoded entries, keeping room for the quick-reference offsets and the
// entry count at the chunk end.
class ChunkFiller {
 public:
  explicit ChunkFiller(uint32_t header_size) : header_size_(header_size) {}

  // True when the entry had to start a new chunk.
  bool Add(const std::vector<uint8_t>& entry) {
    const uint32_t count = static_cast<uint32_t>(offsets_.size()) + 1;
    const uint32_t quickrefs = (count - 1) / kQuickRefInterval;
    const bool fresh = offsets_.empty();
    if (!fresh &&
        header_size_ + entries_.size() + entry.size() + 2 + 2 * quickrefs > kChmChunkSize) {
      Flush();
    }
    offsets_.push_back(static_cast<uint32_t>(entries_.size()));
    entries_.insert(entries_.end(), entry.begin(), entry.end());
    return offsets_.size() == 1;
  }

  void Flush() {
    if (offsets_.empty()) return;
    std::vector<uint8_t> chunk(kChmChunkSize, 0);
    std::copy(entries_.begin(), entries_.end(), chunk.begin() + header_size_);
    const uint32_t count = static_cast<uint32_t>(offsets_.size());
    for (uint32_t k = 1; k * kQuickRefInterval < count; ++k) {
      SetU16(chunk, kChmChunkSize - 2 - 2 * k, offsets_[k * kQuickRefInterval]);
    }
    SetU16(chunk, kChmChunkSize - 2, count);
    SetU32(chunk, 4, kChmChunkSize - header_size_ - static_cast<uint32_t>(entries_.size()));
    chunks_.push_back(std::move(chunk));
    entries_.clear();
    offsets_.clear();
  }

  std::vector<std::vector<uint8_t>>& chunks() { return chunks_; }

 private:
  uint32_t header_size_;
  std::vector<uint8_t> entries_;
  std::vector<uint32_t> offsets_;
  std::vector<std::vector<uint8_t>> chunks_;
};

struct IndexItem {
  std::string_view name;
  uint32_t chunk;
};

}  // namespace

int CompareChmNames(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const uint8_t x = Fold(static_cast<uint8_t>(a[i]));
    const uint8_t y = Fold(static_cast<uint8_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string FoldChmName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    c = static_cast<char>(Fold(static_cast<uint8_t>(c)));
  return folded;
}

void AppendEncInt(std::vector<uint8_t>& out, uint64_t value) {
  uint8_t groups[10];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (n > 1)
    out.push_back(groups[--n] | 0x80);
  out.push_back(groups[0]);
}

ChmDirectory BuildChmDirectory(const std::vector<ChmDirectoryEntry>& entries, uint32_t lcid) {
  // Listing chunks.
  ChunkFiller listing(kListingHeader);
  std::vector<IndexItem> level;
  std::vector<uint8_t> encoded;
  for (const ChmDirectoryEntry& entry : entries) {
    encoded.clear();
    AppendEncInt(encoded, entry.name.size());
    PutBytes(encoded, entry.name);
    AppendEncInt(encoded, entry.section);
    AppendEncInt(encoded, entry.offset);
    AppendEncInt(encoded, entry.length);
    if (listing.Add(encoded)) {
      level.push_back({entry.name, static_cast<uint32_t>(listing.chunks().size())});
    }
  }
  listing.Flush();
  std::vector<std::vector<uint8_t>> chunks = std::move(listing.chunks());
  if (chunks.empty()) {
    chunks.emplace_back(kChmChunkSize, 0);
    SetU32(chunks[0], 4, kChmChunkSize - kListingHeader);
  }
  const uint32_t listing_count = static_cast<uint32_t>(chunks.size());
  for (uint32_t i = 0; i < listing_count; ++i) {
    std::vector<uint8_t>& chunk = chunks[i];
    std::copy_n("PMGL", 4, chunk.begin());
    SetU32(chunk, 8, 0);
    SetU32(chunk, 12, i == 0 ? kNone : i - 1);
    SetU32(chunk, 16, i + 1 == listing_count ? kNone : i + 1);
  }

  // Index levels, each naming the first entry of every chunk below, up to one root.
  uint32_t depth = 1;
  uint32_t root = kNone;
  while (level.size() > 1) {
    ChunkFiller index(kIndexHeader);
    std::vector<IndexItem> above;
    const uint32_t first_chunk = static_cast<uint32_t>(chunks.size());
    for (const IndexItem& item : level) {
      encoded.clear();
      AppendEncInt(encoded, item.name.size());
      PutBytes(encoded, item.name);
      AppendEncInt(encoded, item.chunk);
      if (index.Add(encoded)) {
        above.push_back({item.name, first_chunk + static_cast<uint32_t>(index.chunks().size())});
      }
    }
    index.Flush();
    for (std::vector<uint8_t>& chunk : index.chunks()) {
      std::copy_n("PMGI", 4, chunk.begin());
      chunks.push_back(std::move(chunk));
    }
    ++depth;
    root = static_cast<uint32_t>(chunks.size()) - 1;
    level = std::move(above);
  }

  ChmDirectory directory;
  std::vector<uint8_t>& out = directory.bytes;
  out.reserve(kChmItspHeaderSize + chunks.size() * kChmChunkSize);
  PutBytes(out, "ITSP");
  PutU32(out, 1);
  PutU32(out, kChmItspHeaderSize);
  PutU32(out, 10);
  PutU32(out, kChmChunkSize);
  PutU32(out, 2);  // quick-reference density
  PutU32(out, depth);
  PutU32(out, root);
  PutU32(out, 0);  // first listing chunk
  PutU32(out, listing_count - 1);
  PutU32(out, kNone);
  PutU32(out, static_cast<uint32_t>(chunks.size()));
  PutU32(out, lcid);
  const uint8_t guid[16] = {0x6a, 0x92, 0x02, 0x5d, 0x2e, 0x21, 0xd0, 0x11,
                            0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec};
  out.insert(out.end(), guid, guid + 16);
  PutU32(out, kChmItspHeaderSize);
  PutU32(out, kNone);
  PutU32(out, kNone);
  PutU32(out, kNone);
  for (const std::vector<uint8_t>& chunk : chunks)
    out.insert(out.end(), chunk.begin(), chunk.end());
  directory.listing_chunks = listing_count;
  directory.index_chunks = static_cast<uint32_t>(chunks.size()) - listing_count;
  return directory;
}

}  // namespace corvina::chm
