#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvina::chm {

// The #STRINGS pool: NUL-terminated strings by byte offset, offset 0 the empty string, each
// text stored once and none crossing a 4096-byte block.
class ChmStringPool {
 public:
  ChmStringPool() : bytes_(1, 0) {}
  // Offset of `text` (already in the file's code page); 0 for an empty text.
  uint32_t Add(std::string_view text);
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  std::unordered_map<std::string, uint32_t> offsets_;
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

// One topic of #TOPICS: a page or the contents/index file.
struct ChmTopic {
  std::string path;   // relative, no leading "/", in the file's code page
  std::string title;  // empty: none
  bool in_contents = true;
};
// #TOPICS, #URLTBL and #URLSTR for `topics` in order; titles go into `strings`.
struct ChmTopicFiles {
  std::vector<uint8_t> topics, urltbl, urlstr;
};
ChmTopicFiles BuildTopicFiles(const std::vector<ChmTopic>& topics, ChmStringPool& strings);

// The hash of a URL as #URLTBL stores it.
uint32_t ChmUrlHash(std::string_view url);

// #IDXHDR (4096 bytes), also stored as #SYSTEM record 13.
std::vector<uint8_t> BuildIdxHdr(uint32_t topic_count);

struct ChmSystemInfo {
  std::string contents_file, index_file, default_topic, title, default_window, base_name;
  uint32_t lcid = 0x0409;
};
// #SYSTEM: version 3 and its records; texts in the file's code page.
std::vector<uint8_t> BuildSystemFile(const ChmSystemInfo& info, const std::vector<uint8_t>& idxhdr);

}  // namespace corvina::chm
