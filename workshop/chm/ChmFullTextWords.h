#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::chm {

// Longer words are left out of the search index, as other help compilers do.
inline constexpr size_t kMaxIndexedWordLength = 99;

// One word of a page: its bytes in PageWords::text, and whether it is in the page's title.
struct PageWord {
  uint32_t offset;
  uint8_t length;
  bool title;
};

// The words of one page in reading order, as the search index stores them: Windows-1252 bytes
// in lower case.
struct PageWords {
  std::string text;
  std::vector<PageWord> words;
  std::string_view Text(const PageWord& word) const {
    return std::string_view(text).substr(word.offset, word.length);
  }
};

// Reads the words a reader sees on an HTML or XHTML page (an XML prolog is read like any other
// page). The page's charset (byte-order mark, XML encoding, <meta> charset; else UTF-8 when the
// bytes are valid UTF-8, else Windows-1252) and character entities are decoded. Letters and
// digits of Windows-1252 make words; a "." between digits of a word that starts with a digit
// and an apostrophe inside a word are kept in the word ("3.14") or dropped from it ("dont").
// Tags, comments, <script> and <style> are skipped; tags that stay inside a line of text (<b>,
// <span>, <a>...) do not end a word. The words of the first <title> are marked as title words.
// Never fails: broken markup is read as a browser would, as far as words go.
PageWords ExtractPageWords(std::string_view html);

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

}  // namespace corvina::chm
