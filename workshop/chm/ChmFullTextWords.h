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

// The charset a page declares when ExtractPageWords cannot read it (neither UTF-8 nor
// Windows-1252 nor one of their names), lower-cased; empty otherwise. Such a page's words are
// read as UTF-8 when its bytes are valid UTF-8, else as Windows-1252.
std::string UnreadCharset(std::string_view html);

// The charset a page declares, as ExtractPageWords takes it.
struct DeclaredCharset {
  bool windows_1252 = false;  // Windows-1252 or one read as it (ISO-8859-1, ASCII...)
  std::string unread;         // one it does not read, as UnreadCharset gives it; else empty
};
DeclaredCharset ReadDeclaredCharset(std::string_view html);

}  // namespace corvina::chm
