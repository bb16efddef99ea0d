#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::chm {

// Looks words up in a full-text search index (/$FIftiMain), ours or another compiler's. Every
// offset, length and count is checked against the file and every walk is bounded, so a damaged
// or hostile index finds fewer topics, never reads outside the file or loops.
class ChmFullTextReader {
 public:
  // `index` must outlive the reader.
  explicit ChmFullTextReader(std::string_view index);

  // False when the bytes are not a search index this reader understands.
  bool valid() const { return valid_; }

  // The topics (#TOPICS numbers) whose title or text holds `word`, given as the index stores
  // words (FullTextQueryWords), in increasing order, each once.
  std::vector<uint32_t> Topics(std::string_view word) const;

 private:
  std::optional<uint32_t> FindLeaf(std::string_view word) const;
  void ReadLocations(uint32_t offset, uint32_t length, uint32_t topics,
                     std::vector<uint32_t>& out) const;

  std::string_view index_;
  bool valid_ = false;
  uint32_t root_ = 0;
  uint16_t depth_ = 0;
  uint32_t node_size_ = 0;
  int topic_root_ = 0;
  int count_root_ = 0;
  int location_root_ = 0;
};

// The words of a search typed by the user (UTF-8) as the index stores them: Windows-1252
// bytes in lower case, split as page text is.
std::vector<std::string> FullTextQueryWords(std::string_view query);

// A topic's page and title, from the help file's /#TOPICS, /#URLTBL, /#URLSTR and /#STRINGS.
struct ChmTopic {
  std::string page;   // as stored, without a leading "/"
  std::string title;  // empty when the topic has none
};
std::optional<ChmTopic> FindTopic(uint32_t topic, std::string_view topics, std::string_view urltbl,
                                  std::string_view urlstr, std::string_view strings);

}  // namespace corvina::chm
