#include "workshop/common/ChmLibchmGuard.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "workshop/common/ChmArchive.h"
#include "workshop/common/ChmFields.h"

namespace corvina::workshop {
namespace {

// libchm keeps names in buffers of this many bytes plus a NUL, and gives up on longer ones.
constexpr uint64_t kLibchmMaxPath = 512;
constexpr uint64_t kFrameSize = 0x8000;
// libchm reads a frame's compressed bytes into a buffer this much larger than the frame.
constexpr uint64_t kFrameSlack = 6144;
constexpr uint64_t kResetTableHeader = 0x28;
// libchm reads the ControlData into a buffer of this size and gives up on a longer one.
constexpr uint64_t kLibchmControlDataMax = 256;

constexpr char kResetTableName[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
    "InstanceData/ResetTable";
constexpr char kContentName[] = "::DataSpace/Storage/MSCompressed/Content";
constexpr char kControlDataName[] = "::DataSpace/Storage/MSCompressed/ControlData";

const unsigned char* Chunk(const ChmDirectoryView& directory, uint32_t k) {
  return directory.chunks.data() + uint64_t{k} * directory.chunk_size;
}

bool IsKind(const unsigned char* chunk, const char (&kind)[5]) {
  return std::memcmp(chunk, kind, 4) == 0;
}

// The root chunk of libchm's look-up: the index root, or the first listing chunk when the
// root is "none" (any negative number).
int64_t RootChunk(const ChmDirectoryView& directory) {
  return directory.index_root <= -1 ? directory.index_head : directory.index_root;
}

// The entries of an index chunk as (name, child) pairs; false when one runs past the used
// area.
bool ParseIndexChunk(const unsigned char* chunk, size_t chunk_size,
                     std::vector<std::pair<std::string_view, uint64_t>>& entries) {
  const uint32_t free_space = Dword(chunk + 4);
  if (free_space > chunk_size - kPmgiHeader) return false;
  const unsigned char* p = chunk + kPmgiHeader;
  const unsigned char* end = chunk + chunk_size - free_space;
  while (p < end) {
    uint64_t name_length = 0;
    if (!ReadEncint(p, end, name_length) || name_length > static_cast<uint64_t>(end - p)) {
      return false;
    }
    std::string_view name(reinterpret_cast<const char*>(p), name_length);
    p += name_length;
    uint64_t child = 0;
    if (!ReadEncint(p, end, child)) return false;
    entries.emplace_back(name, child);
  }
  return true;
}

// strcasecmp as libchm calls it: on the name up to its first NUL, ASCII letters folded.
int CompareFolded(std::string_view a, std::string_view b) {
  a = a.substr(0, a.find('\0'));
  b = b.substr(0, b.find('\0'));
  for (size_t i = 0;; ++i) {
    int x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    int y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y || x == 0) return x - y;
  }
}

}  // namespace

bool ParseListingChunk(const unsigned char* chunk, size_t chunk_size,
                       std::vector<ChmEntry>& entries) {
  const uint32_t free_space = Dword(chunk + 4);
  if (free_space > chunk_size - kPmglHeader) return false;
  const unsigned char* p = chunk + kPmglHeader;
  const unsigned char* end = chunk + chunk_size - free_space;
  while (p < end) {
    uint64_t name_length = 0;
    if (!ReadEncint(p, end, name_length) || name_length == 0 ||
        name_length > static_cast<uint64_t>(end - p)) {
      return false;
    }
    ChmEntry entry;
    entry.name.assign(reinterpret_cast<const char*>(p), name_length);
    p += name_length;
    uint64_t space = 0;
    if (!ReadEncint(p, end, space) || !ReadEncint(p, end, entry.start) ||
        !ReadEncint(p, end, entry.length) || space > 1) {
      return false;
    }
    entry.space = static_cast<int>(space);
    entries.push_back(std::move(entry));
  }
  return true;
}

std::optional<std::string> ChmLibchmGuard::CheckIndexTree(const ChmDirectoryView& directory) {
  const int64_t root = RootChunk(directory);
  if (root < 0 || root >= directory.chunk_count) {
    return "its directory index starts at chunk " + std::to_string(root) + " of " +
           std::to_string(directory.chunk_count);
  }
  // Depth-first over the index chunks, without recursion: a child that is still on the path
  // from the root (itself included) would make a look-up go round for ever.
  enum class Mark : unsigned char { kNew, kOnPath, kDone };
  std::vector<Mark> marks(directory.chunk_count, Mark::kNew);
  struct Step {
    uint32_t chunk;
    std::vector<uint64_t> children;
    size_t next = 0;
  };
  std::vector<Step> path;
  auto enter = [&](uint32_t k) -> std::optional<std::string> {
    const unsigned char* chunk = Chunk(directory, k);
    marks[k] = Mark::kDone;
    if (IsKind(chunk, "PMGL")) {
      std::vector<ChmEntry> ignored;
      if (!ParseListingChunk(chunk, directory.chunk_size, ignored)) {
        return "its directory chunk " + std::to_string(k) + " is damaged";
      }
      return std::nullopt;
    }
    if (!IsKind(chunk, "PMGI")) return std::nullopt;  // libchm gives up there
    std::vector<std::pair<std::string_view, uint64_t>> entries;
    if (!ParseIndexChunk(chunk, directory.chunk_size, entries)) {
      return "its directory index chunk " + std::to_string(k) + " is damaged";
    }
    Step step{k, {}, 0};
    for (const auto& [name, child] : entries) {
      if (name.size() > kLibchmMaxPath) continue;  // libchm stops before reading the child
      if (child >= directory.chunk_count) {
        return "its directory index chunk " + std::to_string(k) + " points to chunk " +
               std::to_string(child) + " of " + std::to_string(directory.chunk_count);
      }
      step.children.push_back(child);
    }
    marks[k] = Mark::kOnPath;
    path.push_back(std::move(step));
    return std::nullopt;
  };
  if (auto problem = enter(static_cast<uint32_t>(root))) return problem;
  while (!path.empty()) {
    Step& top = path.back();
    if (top.next == top.children.size()) {
      marks[top.chunk] = Mark::kDone;
      path.pop_back();
      continue;
    }
    const auto child = static_cast<uint32_t>(top.children[top.next++]);
    if (marks[child] == Mark::kOnPath) {
      return "its directory index chunk " + std::to_string(top.chunk) + " leads back to chunk " +
             std::to_string(child);
    }
    if (marks[child] == Mark::kNew) {
      if (auto problem = enter(child)) return problem;
    }
  }
  return std::nullopt;
}

std::optional<ChmEntry> ChmLibchmGuard::LookUp(const ChmDirectoryView& directory,
                                               std::string_view name) {
  int64_t page = RootChunk(directory);
  // The tree has no loops, so a look-up passes each chunk at most once.
  for (uint32_t steps = 0; page != -1 && steps <= directory.chunk_count; ++steps) {
    if (page < 0 || page >= directory.chunk_count) return std::nullopt;
    const unsigned char* chunk = Chunk(directory, static_cast<uint32_t>(page));
    if (IsKind(chunk, "PMGL")) {
      std::vector<ChmEntry> entries;
      ParseListingChunk(chunk, directory.chunk_size, entries);
      for (ChmEntry& entry : entries) {
        if (entry.name.size() > kLibchmMaxPath) return std::nullopt;
        if (CompareFolded(entry.name, name) == 0) return std::move(entry);
      }
      return std::nullopt;
    }
    if (!IsKind(chunk, "PMGI")) return std::nullopt;
    std::vector<std::pair<std::string_view, uint64_t>> entries;
    ParseIndexChunk(chunk, directory.chunk_size, entries);
    int64_t next = -1;
    for (const auto& [entry_name, child] : entries) {
      if (entry_name.size() > kLibchmMaxPath) {
        next = -1;
        break;
      }
      if (CompareFolded(entry_name, name) > 0) break;
      next = static_cast<int32_t>(child);
    }
    page = next;
  }
  return std::nullopt;
}

std::optional<std::string> ChmLibchmGuard::CheckCompression(const ChmDirectoryView& directory,
                                                            uint64_t data_offset,
                                                            uint64_t file_size, ReadAt read,
                                                            void* context) {
  frames_ = 0;
  const std::optional<ChmEntry> reset = LookUp(directory, kResetTableName);
  const std::optional<ChmEntry> content = LookUp(directory, kContentName);
  const std::optional<ChmEntry> control = LookUp(directory, kControlDataName);
  // Without all three, stored uncompressed, libchm reads no compressed file at all.
  if (!reset || !content || !control || reset->space != 0 || content->space != 0 ||
      control->space != 0) {
    return std::nullopt;
  }
  unsigned char table[kResetTableHeader];
  if (reset->length < kResetTableHeader || !read(context, data_offset + reset->start, table, 40) ||
      Dword(table) != 2) {
    return std::nullopt;
  }
  if (control->length > kLibchmControlDataMax) return std::nullopt;  // libchm refuses the file
  // libchm goes on with whatever it read from a ControlData it found wrong, so a wrong one
  // is refused here.
  const std::string bad = "its compression settings (ControlData) are invalid";
  unsigned char data[kLibchmControlDataMax];
  if (control->length < 0x18 ||
      !read(context, data_offset + control->start, data, static_cast<size_t>(control->length))) {
    return bad;
  }
  uint32_t reset_interval = Dword(data + 0x0C);
  uint32_t window = Dword(data + 0x10);
  const uint32_t windows_per_reset = Dword(data + 0x14);
  if (Dword(data + 0x08) == 2) {
    reset_interval *= 0x8000;
    window *= 0x8000;
  }
  const bool window_ok =
      window >= (1u << 15) && window <= (1u << 21) && (window & (window - 1)) == 0;
  if (std::memcmp(data + 4, "LZXC", 4) != 0 || !window_ok || reset_interval == 0 ||
      reset_interval % (window / 2) != 0 ||
      reset_interval / (window / 2) * windows_per_reset == 0) {
    return bad;
  }

  const uint32_t block_count = Dword(table + 0x04);
  const uint32_t table_offset = Dword(table + 0x0C);
  const uint64_t compressed_length = Qword(table + 0x18);
  const uint64_t frame = Qword(table + 0x20);
  if (frame != kFrameSize) {
    return "its compressed frame length (ResetTable) is " + std::to_string(frame) + ", not " +
           std::to_string(kFrameSize);
  }
  const uint64_t table_bytes = uint64_t{block_count} * 8;
  const uint64_t table_start = data_offset + reset->start;
  if (reset->start > file_size || data_offset > file_size - reset->start ||
      table_offset > reset->length || table_bytes > reset->length - table_offset ||
      table_start + table_offset + table_bytes > file_size) {
    return std::string("its frame table (ResetTable) lies beyond the end of the file");
  }
  const uint64_t content_start = data_offset + content->start;
  if (content->start > file_size || data_offset > file_size - content->start ||
      compressed_length > file_size - content_start) {
    return std::string("its compressed data lies beyond the end of the file");
  }
  std::vector<unsigned char> offsets(table_bytes);
  if (!read(context, table_start + table_offset, offsets.data(), offsets.size())) {
    return std::string("its frame table (ResetTable) cannot be read");
  }
  // libchm decodes frame i from the bytes between entries i and i+1 (the last: up to the
  // compressed length) into a buffer of one frame plus its slack.
  for (uint32_t i = 0; i < block_count; ++i) {
    const uint64_t begin = Qword(offsets.data() + uint64_t{i} * 8);
    const uint64_t end =
        i + 1 < block_count ? Qword(offsets.data() + uint64_t{i + 1} * 8) : compressed_length;
    if (begin > end || end - begin > kFrameSize + kFrameSlack || end > compressed_length) {
      return "its frame table (ResetTable) is damaged at frame " + std::to_string(i);
    }
  }
  frames_ = block_count;
  return std::nullopt;
}

bool ChmLibchmGuard::CompressedRangeReadable(const ChmEntry& entry) const {
  if (entry.length == 0) return true;
  const uint64_t last = entry.start + entry.length - 1;
  return last >= entry.start && last / kFrameSize < frames_;
}

}  // namespace corvina::workshop
