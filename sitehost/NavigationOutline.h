#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvina::sitehost {

// The name of a site's outline file, in the site folder.
inline constexpr std::string_view kOutlineFileName = "navigation.txt";

// One line of an outline file.
struct OutlineEntry {
  int line = 0;            // 1-based line number in the file
  int parent = -1;         // index of the parent entry, -1 for a top entry
  std::string label;       // the text before "|", trimmed; empty when the line has no "|"
  std::string page;        // the text after "|", or the whole line without "|", trimmed
  bool separated = false;  // the line has the form "label | page"
};

// Parses an outline: one entry per non-blank line, in file order (which is also the tree's
// depth-first order). Indentation gives nesting: a line is a child of the nearest line above
// it that is indented less; a tab advances to the next multiple of 4 columns. "label | page"
// splits at the last "|". The text is UTF-8 (a byte-order mark is skipped); bytes that are not
// valid UTF-8 are read as Windows-1252. Line ends may be LF, CRLF or CR.
std::vector<OutlineEntry> ParseOutline(std::string_view text);

}  // namespace corvina::sitehost
