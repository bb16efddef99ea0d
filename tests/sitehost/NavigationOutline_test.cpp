#include "sitehost/NavigationOutline.h"

#include <gtest/gtest.h>

#include <string>

namespace corvina::sitehost {
namespace {

// One entry per line: line number, parent index, "label", "page" and "|" when separated.
std::string Dump(const std::vector<OutlineEntry>& entries) {
  std::string out;
  for (const OutlineEntry& entry : entries) {
    out += std::to_string(entry.line) + " " + std::to_string(entry.parent) + " [" + entry.label +
           "] [" + entry.page + "]" + (entry.separated ? " |" : "") + "\n";
  }
  return out;
}

TEST(NavigationOutlineTest, IndentationGivesNesting) {
  const std::pair<std::string, std::string> cases[] = {
      {"a.htm\n  b.htm\n    c.htm\n  d.htm\ne.htm\n",
       "1 -1 [] [a.htm]\n2 0 [] [b.htm]\n3 1 [] [c.htm]\n4 0 [] [d.htm]\n5 -1 [] [e.htm]\n"},
      {"a\r\n\tb\r\n\t\tc\r\n", "1 -1 [] [a]\n2 0 [] [b]\n3 1 [] [c]\n"},
      {"a\r    b\r", "1 -1 [] [a]\n2 0 [] [b]\n"},
      // A tab reaches column 4, the same depth as four blanks.
      {"a\n    b\n\tc\n", "1 -1 [] [a]\n2 0 [] [b]\n3 0 [] [c]\n"},
      // A line less indented than its elder sibling still finds the nearest shallower line.
      {"a\n    b\n  c\n", "1 -1 [] [a]\n2 0 [] [b]\n3 0 [] [c]\n"},
      // Blank lines do not count as entries, but lines keep their numbers.
      {"\n\na\n   \n  b", "3 -1 [] [a]\n5 0 [] [b]\n"},
      {"  indented first\nnext\n", "1 -1 [] [indented first]\n2 -1 [] [next]\n"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Dump(ParseOutline(text)), expected);
  }
}

TEST(NavigationOutlineTest, LabelAndPageSplitAtTheLastBar) {
  const std::pair<std::string, std::string> cases[] = {
      {"Start | index.htm", "1 -1 [Start] [index.htm] |\n"},
      {"Extras |", "1 -1 [Extras] [] |\n"},
      {"| page.htm", "1 -1 [] [page.htm] |\n"},
      {"A | B | My Page.htm", "1 -1 [A | B] [My Page.htm] |\n"},
      {"Only a label", "1 -1 [] [Only a label]\n"},
      {"\xEF\xBB\xBF"
       "Caf\xC3\xA9 | caf\xC3\xA9.htm",
       "1 -1 [Caf\u00e9] [caf\u00e9.htm] |\n"},
      {"Caf\xE9 | x.htm", "1 -1 [Caf\u00e9] [x.htm] |\n"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Dump(ParseOutline(text)), expected);
  }
}

}  // namespace
}  // namespace corvina::sitehost
