#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"

// Reads the binary contents (#TOCIDX) and binary index ($WWKeywordLinks/BTree) of a .chm back
// into trees, through #TOPICS, #URLTBL, #URLSTR and #STRINGS, for comparing what two compilers
// wrote. Whatever does not hold together lands in `problems`.
namespace corvina::binary_sitemap {

struct TocEntry {
  std::string label;  // UTF-8
  std::string local;  // empty for a label-only entry
  std::vector<TocEntry> children;
  bool operator==(const TocEntry&) const = default;
};

struct Topic {
  std::string title;  // UTF-8
  std::string local;
  bool operator==(const Topic&) const = default;
  auto operator<=>(const Topic&) const = default;
};

struct Keyword {
  std::string text;  // UTF-8, "keyword, sub-keyword" below the top level
  uint32_t level = 0;
  std::vector<Topic> topics;
  bool operator==(const Keyword&) const = default;
};

class Decoder {
 public:
  // `files`: the .chm's files by name ("/#TOPICS" ...).
  explicit Decoder(const std::map<std::string, std::string>& files) : files_(files) {}

  static uint32_t U32(const std::string& bytes, size_t at) {
    if (at + 4 > bytes.size()) return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
      value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
  }
  static uint32_t U16(const std::string& bytes, size_t at) {
    if (at + 2 > bytes.size()) return 0;
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8;
  }

  const std::string& File(const std::string& name) const {
    static const std::string kEmpty;
    auto it = files_.find(name);
    return it == files_.end() ? kEmpty : it->second;
  }

  std::string String(uint32_t offset) const {
    const std::string& strings = File("/#STRINGS");
    if (offset >= strings.size()) return "<bad #STRINGS offset>";
    return AnsiToUtf8(strings.c_str() + offset);
  }

  // The title and page of topic `number`, and its #TOCIDX record offset in `toc_offset`.
  Topic TopicAt(uint32_t number, uint32_t* toc_offset = nullptr) {
    const std::string& topics = File("/#TOPICS");
    if (16 * size_t{number} + 16 > topics.size()) {
      problems.push_back("topic " + std::to_string(number) + " beyond #TOPICS");
      return {};
    }
    const size_t at = 16 * size_t{number};
    if (toc_offset) *toc_offset = U32(topics, at);
    Topic topic;
    const uint32_t title = U32(topics, at + 4);
    if (title != 0xFFFFFFFF) topic.title = String(title);
    const std::string& urltbl = File("/#URLTBL");
    const uint32_t entry = U32(topics, at + 8);
    if (U32(urltbl, entry + 4) != number) {
      problems.push_back("#URLTBL entry of topic " + std::to_string(number) + " names another");
    }
    const std::string& urlstr = File("/#URLSTR");
    const uint32_t name = U32(urltbl, entry + 8) + 8;
    if (name < urlstr.size()) topic.local = urlstr.c_str() + name;
    return topic;
  }

  // The contents tree, following first-child and next-sibling offsets and checking parents.
  std::vector<TocEntry> Contents() {
    const std::string& toc = File("/#TOCIDX");
    std::vector<TocEntry> tree;
    if (toc.size() < 0x1000) {
      problems.push_back("no #TOCIDX header");
      return tree;
    }
    ReadLevel(toc, U32(toc, 0), 0, tree, 0);
    return tree;
  }

  // Every keyword of the listing blocks, in order, through the blocks' next links.
  std::vector<Keyword> Keywords() {
    const std::string& btree = File("/$WWKeywordLinks/BTree");
    std::vector<Keyword> keywords;
    if (btree.size() < 76 || btree.substr(0, 2) != ";)") {
      problems.push_back("no $WWKeywordLinks/BTree header");
      return keywords;
    }
    const uint32_t block_size = U16(btree, 4);
    std::set<uint32_t> seen;
    for (uint32_t block = 0; block != 0xFFFFFFFF && seen.insert(block).second;) {
      const size_t base = 76 + size_t{block} * block_size;
      if (base + block_size > btree.size()) {
        problems.push_back("listing block beyond the file");
        break;
      }
      const uint32_t count = U16(btree, base + 2);
      size_t at = base + 12;
      for (uint32_t i = 0; i < count && at < base + block_size; ++i)
        keywords.push_back(ReadKeyword(btree, at, true));
      if (base + block_size - at != U16(btree, base)) {
        problems.push_back("listing block " + std::to_string(block) + " free space is wrong");
      }
      block = U32(btree, base + 8);
    }
    return keywords;
  }

  // Reads one entry of a listing (or, without `listing`, index) block at `at`.
  Keyword ReadKeyword(const std::string& btree, size_t& at, bool listing) {
    Keyword keyword;
    std::u16string text;
    while (at + 2 <= btree.size() && U16(btree, at) != 0) {
      text += static_cast<char16_t>(U16(btree, at));
      at += 2;
    }
    at += 2;
    keyword.text = Utf8(text);
    keyword.level = U16(btree, at + 2);
    const uint32_t pages = U32(btree, at + 12);
    at += 16;
    for (uint32_t p = 0; p < pages && at < btree.size(); ++p, at += 4) {
      keyword.topics.push_back(TopicAt(U32(btree, at)));
    }
    at += listing ? 8 : 4;
    return keyword;
  }

  static std::string Utf8(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  }

  std::vector<std::string> problems;

 private:
  void ReadLevel(const std::string& toc, uint32_t offset, uint32_t parent,
                 std::vector<TocEntry>& out, int depth) {
    for (int guard = 0; offset != 0 && guard < 100000; ++guard) {
      if (depth > 64 || offset + 0x14 > toc.size()) {
        problems.push_back("#TOCIDX record beyond the file or too deep");
        return;
      }
      const uint32_t flags = U32(toc, offset + 4);
      const uint32_t size = flags & 4 ? 0x1C : 0x14;
      if (offset / 4096 != (offset + size - 1) / 4096) {
        problems.push_back("#TOCIDX record crosses a block at " + std::to_string(offset));
      }
      if (U32(toc, offset + 12) != parent) {
        problems.push_back("#TOCIDX record at " + std::to_string(offset) + " names parent " +
                           std::to_string(U32(toc, offset + 12)) + ", not " +
                           std::to_string(parent));
      }
      TocEntry entry;
      const uint32_t value = U32(toc, offset + 8);
      if (flags & 8) {
        uint32_t record = 0;
        const Topic topic = TopicAt(value, &record);
        entry.label = topic.title;
        entry.local = topic.local;
        if (record != offset) {
          toc_links_missing.push_back(entry.local);
        }
      } else {
        entry.label = String(value);
      }
      if (flags & 4) ReadLevel(toc, U32(toc, offset + 20), offset, entry.children, depth + 1);
      out.push_back(std::move(entry));
      offset = U32(toc, offset + 16);
    }
  }

  const std::map<std::string, std::string>& files_;

 public:
  // Pages whose topic does not point back at their #TOCIDX record.
  std::vector<std::string> toc_links_missing;
};

}  // namespace corvina::binary_sitemap
