#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "workshop/chm/ChmFullTextWords.h"

namespace corvina::chm {

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
  explicit ChmFullTextIndex(uint32_t lcid) : lcid_(lcid) {}

  // Adds a page's words as topic number `topic` (a #TOPICS index, larger than any before). Each
  // group carries the FullTextKeyHash of its word and context.
  void AddPage(uint32_t topic, const PageWordGroups& page);
  // Hands the bytes of the file to `out` in order, a piece at a time, and stops when `out`
  // returns false. Each word's locations are released once handed over, so the lists and the
  // file are never held together; the index is spent afterwards.
  bool Write(const std::function<bool(std::span<const uint8_t>)>& out);
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
    std::vector<uint8_t> locations;  // the WLC bytes
  };
  // An open-addressing table from (word, context) to entries_: pages are merged one after the
  // other on one thread, so the look-up must cost little more than one cache miss.
  struct Slot {
    uint64_t hash;
    uint32_t entry;
  };
  static constexpr uint32_t kNoEntry = 0xFFFFFFFF;
  Entry& FindOrAdd(uint64_t hash, std::string_view word, bool title);
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
};

}  // namespace corvina::chm
