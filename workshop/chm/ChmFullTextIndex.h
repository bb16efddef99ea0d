#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/ChmFullTextWords.h"
#include "workshop/chm/FullTextLists.h"

namespace corvina::chm {

// Location lists held in memory while pages are added, beyond which they go to scratch files.
inline constexpr size_t kFullTextMemoryLimit = size_t{1} << 20;

// One page's words grouped for the index: each distinct word and context once, with the
// locations where it occurs. Title words are numbered first (from 0), then the body words.
struct PageWordGroup {
  uint32_t offset;  // into PageWordGroups::text
  uint8_t length;
  bool title;
  uint32_t first_location;  // into PageWordGroups::locations
  uint32_t count;
  uint64_t hash;  // FullTextKeyHash of the word and context
};
// The hash under which the index files a word in a context.
uint64_t FullTextKeyHash(std::string_view word, bool title);
struct PageWordGroups {
  std::string text;
  std::vector<PageWordGroup> groups;  // by word, the title group before the body group
  std::vector<uint32_t> locations;    // increasing within a group
  std::string_view Text(const PageWordGroup& group) const {
    return std::string_view(text).substr(group.offset, group.length);
  }
};
PageWordGroups GroupPageWords(const PageWords& words);

// Bits written most significant first, as the location lists of /$FIftiMain hold them.
class FullTextBitWriter {
 public:
  explicit FullTextBitWriter(std::vector<uint8_t>& out) : out_(out) {}
  // `count` <= 32.
  void Put(uint32_t bits, int count);
  // The scale-2 code with root `root` of `value`.
  void PutSrCode(uint32_t value, int root);
  // Zero bits up to the next byte boundary.
  void Flush();

 private:
  std::vector<uint8_t>& out_;
  uint64_t pending_ = 0;
  int pending_bits_ = 0;
};

// The full-text search index /$FIftiMain: a B-tree of (word, context) entries in byte order,
// each with the list of topics and locations where the word occurs. Pages are added in topic
// order; the bytes depend only on what was added.
class ChmFullTextIndex {
 public:
  // The location lists go to unnamed files in `scratch_folder` once more than `memory_limit`
  // bytes of them are held; without a folder they are all held.
  explicit ChmFullTextIndex(uint32_t lcid, std::filesystem::path scratch_folder = {},
                            size_t memory_limit = kFullTextMemoryLimit);

  // Adds a page's words as topic number `topic` (a #TOPICS index, larger than any before). Each
  // group carries the FullTextKeyHash of its word and context.
  void AddPage(uint32_t topic, const PageWordGroups& page);
  // Hands the bytes of the file to `out` in order, a piece at a time, and stops when `out`
  // returns false or a scratch file fails (status() says so). The index is spent afterwards.
  bool Write(const std::function<bool(std::span<const uint8_t>)>& out);
  // The first failure of a scratch file.
  const Status& status() const { return lists_.status(); }
  size_t spilled_runs() const { return lists_.runs(); }
  // The bytes of the file, through Write.
  std::vector<uint8_t> Build();

  size_t pages() const { return pages_; }

 private:
  struct Entry {
    uint32_t word;  // offset in words_
    uint8_t length;
    bool title;
    uint32_t topics;
    uint32_t last_topic;
    uint32_t list_bytes;  // of its WLC list, held in lists_
  };
  // An open-addressing table from (word, context) to entries_: pages are merged one after the
  // other on one thread, so the look-up must cost little more than one cache miss.
  struct Slot {
    uint32_t hash;  // the key's hash folded to 32 bits, which also places it
    uint32_t entry;
  };
  static constexpr uint32_t kNoEntry = 0xFFFFFFFF;
  uint32_t FindOrAdd(uint64_t hash, std::string_view word, bool title);
  bool Before(uint32_t a, uint32_t b) const;
  std::string_view Word(const Entry& entry) const {
    return std::string_view(words_).substr(entry.word, entry.length);
  }

  uint32_t lcid_;
  uint32_t pages_ = 0;
  uint64_t occurrences_ = 0;
  uint64_t occurrence_bytes_ = 0;
  std::vector<Entry> entries_;
  std::string words_;
  std::vector<Slot> slots_;
  FullTextLists lists_;
  std::vector<uint8_t> piece_;  // one page's codes for one entry
};

}  // namespace corvina::chm
