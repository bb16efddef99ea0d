#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/ChmNumberSlots.h"

namespace corvina::chm {

// #STRINGS, #URLSTR and #URLTBL are read in blocks of this size; no record crosses one.
inline constexpr size_t kChmTableBlockSize = 4096;

// The #STRINGS pool: NUL-terminated strings by byte offset, offset 0 the empty string, each
// text stored once and none crossing a 4096-byte block.
class ChmStringPool {
 public:
  ChmStringPool() : bytes_(1, 0) {}
  // Offset of `text` (already in the file's code page); 0 for an empty text.
  uint32_t Add(std::string_view text);
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::string_view At(uint32_t offset) const {
    return reinterpret_cast<const char*>(bytes_.data()) + offset;
  }
  std::vector<uint8_t> bytes_;
  ChmNumberSlots offsets_;  // of the texts stored
};

// One window type of the project's [WINDOWS] section: `name="title","toc","index",...`.
struct ChmWindowDefinition {
  std::string name;
  std::vector<std::string> fields;  // up to 20, quotes removed, "[l,t,r,b]" kept whole
};
// Parses a raw [WINDOWS] line. Returns false when it has no "name=".
bool ParseWindowDefinition(std::string_view line, ChmWindowDefinition& window);

// #WINDOWS: one 196-byte entry per window; texts go into `strings`.
std::vector<uint8_t> BuildWindowsFile(const std::vector<ChmWindowDefinition>& windows,
                                      ChmStringPool& strings);

// #TOPICS, #URLTBL and #URLSTR, built one topic at a time: a page, or the contents or index
// file. The entry index is the topic number.
struct ChmTopicFiles {
  std::vector<uint8_t> topics, urltbl, urlstr;
};
class ChmTopicTable {
 public:
  ChmTopicTable() : urlstr_(1, 0) {}
  // Adds a topic and returns its number. `path` is relative without a leading "/", in UTF-8 as
  // the directory names the file; the title in the file's code page, empty for none.
  uint32_t Add(std::string_view path, std::string_view title, bool in_contents,
               ChmStringPool& strings);
  // The topic of `path` (names compared as readers compare them) with exactly this title,
  // added when there is none.
  uint32_t FindOrAdd(std::string_view path, std::string_view title, bool in_contents,
                     ChmStringPool& strings);
  // The first topic added for `path`.
  std::optional<uint32_t> Find(std::string_view path) const;
  // Records where the topic's entry in #TOCIDX is; the first offset recorded stays.
  void SetTocOffset(uint32_t topic, uint32_t offset);
  size_t size() const { return topics_.size(); }
  ChmTopicFiles Build() const;
  // Build, releasing what the table holds as it goes; the table is empty afterwards.
  ChmTopicFiles TakeFiles();

 private:
  struct Topic {
    uint32_t hash, title, urlstr, path_length;
    bool in_contents;
    uint32_t toc_offset = 0;
  };
  std::string_view PathOf(const Topic& topic) const;
  size_t HashOf(const Topic& topic, bool with_title) const;
  // The first topic with the path (and title) of `topic` in `table`, else `topic` added there.
  void Insert(ChmNumberSlots& table, uint32_t topic, bool with_title);
  // #TOPICS and #URLTBL.
  void BuildTables(ChmTopicFiles& files) const;
  std::vector<Topic> topics_;
  std::vector<uint8_t> urlstr_;
  // Topic numbers by path, names compared as readers compare them, and by path and title.
  ChmNumberSlots by_path_;
  ChmNumberSlots by_path_title_;
};

// The hash of a URL as #URLTBL stores it.
uint32_t ChmUrlHash(std::string_view url);

// #IDXHDR (4096 bytes), also stored as #SYSTEM record 13.
std::vector<uint8_t> BuildIdxHdr(uint32_t topic_count);

struct ChmSystemInfo {
  std::string contents_file, index_file, default_topic, title, default_window, base_name;
  uint32_t lcid = 0x0409;
  bool full_text_search = false;  // a /$FIftiMain is stored
  // #URLTBL hashes of the contents and index files when #TOCIDX and $WWKeywordLinks/ exist.
  std::optional<uint32_t> binary_toc_hash, binary_index_hash;
};
// #SYSTEM: version 3 and its records; texts in the file's code page. Fails on a text too long
// for a record.
Result<std::vector<uint8_t>> BuildSystemFile(const ChmSystemInfo& info,
                                             const std::vector<uint8_t>& idxhdr);

}  // namespace corvina::chm
