#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "workshop/chm/ChmFullTextIndex.h"
#include "workshop/chm/ChmFullTextWords.h"

namespace corvina::chm {
namespace {

// The words of a page as one line: "T:" marks a title word.
std::string Words(std::string_view html) {
  const PageWords words = ExtractPageWords(html);
  std::string line;
  for (const PageWord& word : words.words) {
    if (!line.empty()) line += ' ';
    if (word.title) line += "T:";
    line += words.Text(word);
  }
  return line;
}

TEST(ChmFullTextWordsTest, ReadsTheWordsAReaderSees) {
  const std::string long99(99, 'q');
  const std::string long100(100, 'z');
  const std::pair<std::string, std::string> cases[] = {
      // Case, title flag, reading order.
      {"<html><head><title>Alpha  Title</title></head><body>Hello WORLD</body></html>",
       "T:alpha T:title hello world"},
      {"<title>One</title><body>x</body><title>Two</title>", "T:one x"},
      // Entities, named and numeric; C1 numbers as Windows-1252; unknown names are text.
      {"caf&eacute; &#233;t&#xE9; &Scaron;ka &#138;b &amp;&lt;x&gt;",
       "caf\xe9 \xe9t\xe9 \x9aka \x9a"
       "b x"},
      {"a&#150;b &bogus; &ampc &amp x&#0;y", "a b bogus ampc x y"},
      {"na&iuml;ve", "na\xefve"},
      // Charsets: declared Windows-1252, declared UTF-8, undeclared of either kind.
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
       "\xdc"
       "ber Stra\xdf"
       "e \x8a\x9f",
       "\xfc"
       "ber stra\xdf"
       "e \x9a\xff"},
      {"<meta charset=\"utf-8\"><p>\xc3\x9c"
       "ber Stra\xc3\x9f"
       "e \xc5\x92uvre</p>",
       "\xfc"
       "ber stra\xdf"
       "e \x9cuvre"},
      {"<p>\xc3\xa9t\xc3\xa9</p>", "\xe9t\xe9"},
      {"<p>na\xefve</p>", "na\xefve"},
      // Letters outside the code page and signs end words.
      {"\xce\xb1\xce\xb2word \xc3\x97x", "word x"},
      {"a\xd7"
       "b 5\xb2 \xb5m \xaa",
       "a b 5 \xb5m \xaa"},
      // Digits.
      {"2024 007 3.14 v1.2 10,000 x86_64 1.2.3. end.",
       "2024 007 3.14 v1 2 10 000 x86 64 1.2.3 end"},
      // Apostrophes inside a word are dropped; elsewhere they end it.
      {"don't it\xe2\x80\x99s 'quoted' rock'n'roll", "dont its quoted rocknroll"},
      // Script, style and comments hold no words; a comment inside a word does not split it.
      {"a<script>var hidden = 'x</p>';</script>b<style>p { color: red }</style>c<!-- gone -->d",
       "a b cd"},
      {"<SCRIPT type=\"text/javascript\">hidden()</SCRIPT >shown <script src=\"x.js\"/>too",
       "shown too"},
      {"x<!-->y<!--->z <!-- never closed", "xyz"},
      // Tags inside a line of text do not end a word; others do.
      {"<b>W</b>ord <span>sp</span><em>lit</em>", "word split"},
      {"<p>one</p><p>two</p>three<br>four<td>five</td>", "one two three four five"},
      // Attributes are skipped, also with ">" inside quotes.
      {"<img alt=\"hidden words\" src=\"x.png\"><a href=\"a>b.htm\" title='t>x'>link</a>", "link"},
      {"<a href=unquoted>text</a> <p =weird>ok</p>", "text ok"},
      // XHTML with an XML prolog reads like HTML.
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML "
       "1.0 Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n<html "
       "xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Prolog Page</title></head>"
       "<body><p>Caf\xc3\xa9<br/>open</p><![CDATA[ skipped ]]></body></html>",
       "T:prolog T:page caf\xe9 open"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><p>caf\xe9</p>", "caf\xe9"},
      // Broken markup.
      {"a < b <3 text <b", "a b 3 text"},
      {"</>x</ 3>y", "xy"},
      {"<textarea>shown <b>too</b></textarea>", "shown b too b"},
      // Long words: up to 99 bytes.
      {long99 + " " + long100 + " end", long99 + " end"},
      {"", ""},
  };
  for (const auto& [html, expected] : cases) {
    SCOPED_TRACE(html);
    EXPECT_EQ(Words(html), expected);
  }
}

// A charset the words cannot be read in is named, and the page is read as UTF-8 when its bytes
// are valid UTF-8, else as Windows-1252; the names of UTF-8 and Windows-1252 are read.
TEST(ChmFullTextWordsTest, NamesACharsetItCannotReadAndFallsBack) {
  struct Case {
    std::string html;
    std::string unread;
    std::string words;
  };
  const Case cases[] = {
      {"<meta charset=KOI8-R><p>\xF0\xD2\xC9\xD7\xC5\xD4 x", "koi8-r",
       "\xf0\xf2\xe9 \xe5\xf4 x"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset='x-unknown'\">caf\xc3\xa9",
       "x-unknown", "caf\xe9"},
      {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><p>a\x82\xa0"
       "b",
       "shift_jis", "a b"},
      {"<meta charset=utf-16><p>\xc3\x9c", "", "\xfc"},
      {"<meta charset=iso_8859-1><p>\xc3\x9c", "", "\xe3\x9c"},
      {"<meta charset=L1><p>\xdc", "", "\xfc"},
      {"<meta charset=UTF8><p>x", "", "x"},
      {"\xEF\xBB\xBF<meta charset=koi8-r><p>\xc3\x9c", "", "\xfc"},
      {"<p>no declaration \xdc", "", "no declaration \xfc"},
      {"<body><meta charset=koi8-r>x", "", "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    EXPECT_EQ(UnreadCharset(c.html), c.unread);
    EXPECT_EQ(Words(c.html), c.words);
  }
}

TEST(ChmFullTextWordsTest, GroupsNumberTitleWordsFirst) {
  // Title words are numbered from 0 wherever the title stands, then the body words.
  const PageWordGroups groups = GroupPageWords(
      ExtractPageWords("<body>Hello world</body><title>Alpha Title Words</title><p>hello</p>"));
  std::string line;
  for (const PageWordGroup& group : groups.groups) {
    line += std::string(groups.Text(group)) + (group.title ? "(T" : "(B");
    for (uint32_t i = 0; i < group.count; ++i)
      line += " " + std::to_string(groups.locations[group.first_location + i]);
    line += ") ";
  }
  EXPECT_EQ(line, "alpha(T 0) hello(B 3 5) title(T 1) words(T 2) world(B 4) ");
}

}  // namespace
}  // namespace corvina::chm
