#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "workshop/chm/ChmFullTextWords.h"

namespace corvina::chm {

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

  // Adds a page's words as topic number `topic` (a #TOPICS index, larger than any before).
  void AddPage(uint32_t topic, const PageWordGroups& page);
  std::vector<uint8_t> Build() const;

  size_t pages() const { return pages_; }

 private:
  struct Entry {
    std::string word;
    bool title = false;
    uint32_t topics = 0;
    uint32_t last_topic = 0;
    std::vector<uint8_t> locations;  // the WLC bytes
  };
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
  };

  uint32_t lcid_;
  uint32_t pages_ = 0;
  uint64_t occurrences_ = 0;
  uint64_t occurrence_bytes_ = 0;
  std::vector<Entry> entries_;
  // The word followed by its context byte -> index in entries_.
  std::unordered_map<std::string, uint32_t, KeyHash, std::equal_to<>> lookup_;
  std::string key_;
};

}  // namespace corvina::chm
