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
  // Finished chunks are appended to `out`.
  ChunkFiller(uint32_t header_size, const char* signature, std::vector<uint8_t>& out)
      : header_size_(header_size), signature_(signature), out_(out) {}

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

  // Writes the chunk being filled, even when it is empty.
  void Flush() {
    const size_t at = out_.size();
    out_.resize(at + kChmChunkSize, 0);
    uint8_t* chunk = out_.data() + at;
    std::copy_n(signature_, 4, chunk);
    std::copy(entries_.begin(), entries_.end(), chunk + header_size_);
    const uint32_t count = static_cast<uint32_t>(offsets_.size());
    for (uint32_t k = 1; k * kQuickRefInterval < count; ++k) {
      SetU16(out_, at + kChmChunkSize - 2 - 2 * k, offsets_[k * kQuickRefInterval]);
    }
    SetU16(out_, at + kChmChunkSize - 2, count);
    SetU32(out_, at + 4, kChmChunkSize - header_size_ - static_cast<uint32_t>(entries_.size()));
    ++chunks_;
    entries_.clear();
    offsets_.clear();
  }
  bool empty() const { return offsets_.empty(); }
  // Chunks written so far.
  uint32_t chunks() const { return chunks_; }

 private:
  uint32_t header_size_;
  const char* signature_;
  std::vector<uint8_t>& out_;
  std::vector<uint8_t> entries_;
  std::vector<uint32_t> offsets_;
  uint32_t chunks_ = 0;
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

size_t ChmNameHash::operator()(std::string_view name) const {
  uint64_t hash = 14695981039346656037ull;
  for (char c : name)
    hash = (hash ^ Fold(static_cast<uint8_t>(c))) * 1099511628211ull;
  return static_cast<size_t>(hash);
}

ChmDirectory BuildChmDirectory(const std::vector<ChmDirectoryEntry>& entries, uint32_t lcid) {
  std::vector<const ChmDirectoryEntry*> pointers;
  for (const ChmDirectoryEntry& entry : entries)
    pointers.push_back(&entry);
  return BuildChmDirectory(pointers, lcid);
}

ChmDirectory BuildChmDirectory(const std::vector<const ChmDirectoryEntry*>& entries,
                               uint32_t lcid) {
  ChmDirectory directory;
  std::vector<uint8_t>& out = directory.bytes;
  out.resize(kChmItspHeaderSize);  // filled in at the end

  // Listing chunks, each linked to its neighbours.
  ChunkFiller listing(kListingHeader, "PMGL", out);
  std::vector<IndexItem> level;
  std::vector<uint8_t> encoded;
  for (const ChmDirectoryEntry* entry : entries) {
    encoded.clear();
    AppendEncInt(encoded, entry->name.size());
    PutBytes(encoded, entry->name);
    AppendEncInt(encoded, entry->section);
    AppendEncInt(encoded, entry->offset);
    AppendEncInt(encoded, entry->length);
    if (listing.Add(encoded)) level.push_back({entry->name, listing.chunks()});
  }
  listing.Flush();
  const uint32_t listing_count = listing.chunks();
  for (uint32_t i = 0; i < listing_count; ++i) {
    const size_t at = kChmItspHeaderSize + size_t{i} * kChmChunkSize;
    SetU32(out, at + 8, 0);
    SetU32(out, at + 12, i == 0 ? kNone : i - 1);
    SetU32(out, at + 16, i + 1 == listing_count ? kNone : i + 1);
  }

  // Index levels, each naming the first entry of every chunk below, up to one root.
  uint32_t depth = 1;
  uint32_t root = kNone;
  uint32_t total = listing_count;
  while (level.size() > 1) {
    ChunkFiller index(kIndexHeader, "PMGI", out);
    std::vector<IndexItem> above;
    for (const IndexItem& item : level) {
      encoded.clear();
      AppendEncInt(encoded, item.name.size());
      PutBytes(encoded, item.name);
      AppendEncInt(encoded, item.chunk);
      if (index.Add(encoded)) above.push_back({item.name, total + index.chunks()});
    }
    index.Flush();
    total += index.chunks();
    ++depth;
    root = total - 1;
    level = std::move(above);
  }

  std::vector<uint8_t> header;
  PutBytes(header, "ITSP");
  PutU32(header, 1);
  PutU32(header, kChmItspHeaderSize);
  PutU32(header, 10);
  PutU32(header, kChmChunkSize);
  PutU32(header, 2);  // quick-reference density
  PutU32(header, depth);
  PutU32(header, root);
  PutU32(header, 0);  // first listing chunk
  PutU32(header, listing_count - 1);
  PutU32(header, kNone);
  PutU32(header, total);
  PutU32(header, lcid);
  const uint8_t guid[16] = {0x6a, 0x92, 0x02, 0x5d, 0x2e, 0x21, 0xd0, 0x11,
                            0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec};
  header.insert(header.end(), guid, guid + 16);
  PutU32(header, kChmItspHeaderSize);
  PutU32(header, kNone);
  PutU32(header, kNone);
  PutU32(header, kNone);
  std::copy(header.begin(), header.end(), out.begin());
  directory.listing_chunks = listing_count;
  directory.index_chunks = total - listing_count;
  return directory;
}

}  // namespace corvina::chm
