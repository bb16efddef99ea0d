#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workshop/chm/ChmSystemFiles.h"
#include "workshop/chm/PageTitle.h"

namespace corvina::chm {
namespace {

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

std::string TextAt(const std::vector<uint8_t>& bytes, size_t at) {
  return reinterpret_cast<const char*>(bytes.data()) + at;
}

// Every NUL-terminated string of a pool, by its offset.
void ExpectNoStringCrossesABlock(const std::vector<uint8_t>& bytes, size_t first) {
  for (size_t at = first; at < bytes.size();) {
    if (bytes[at] == 0) {  // zero fill
      ++at;
      continue;
    }
    const size_t end = at + TextAt(bytes, at).size();
    EXPECT_EQ(at / kChmTableBlockSize, end / kChmTableBlockSize) << "text at " << at;
    at = end + 1;
  }
}
TEST(PageTitleTest, ReadsTitlesOfManyKindsOfPages) {
  const std::pair<std::string, std::string> cases[] = {
      {"<html><head><title>Welcome \r\n  Page </title></head><body></body></html>", "Welcome Page"},
      {"<HTML><HEAD><TITLE>Upper Case</TITLE></HEAD><BODY></BODY></HTML>", "Upper Case"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 "
       "Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n<html "
       "xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>From DocBook</title></head></html>",
       "From DocBook"},
      {"<title>Fish &amp; Chips</title>", "Fish & Chips"},
      {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
       "charset=windows-1252\"><title>Caf\xe9</title></head></html>",
       "Caf\xc3\xa9"},
      {"<html><head><title>Caf\xc3\xa9 UTF-8</title></head></html>", "Caf\xc3\xa9 UTF-8"},
      {"<html><head></head><body>No title</body></html>", ""},
      {"<html><head><title></title></head></html>", ""},
      {"", ""},
      {"<p>broken <title>Late</title> <b>markup", "Late"},
      // References: all HTML 4 names, with or without ";" as browsers read them; numbers, the
      // C1 range as Windows-1252; unknown names and bare "&#" stay as written.
      {"<title>&copy 2024 &eacute;t&eacute; &#8364;&#x41;&#150; &bogus; &# R&D</title>",
       "\xC2\xA9 2024 \xC3\xA9t\xC3\xA9 \xE2\x82\xAC"
       "A\xE2\x80\x93 &bogus; &# R&D"},
      // Charsets: undeclared bytes that are not UTF-8 as Windows-1252, per sequence; a declared
      // Windows-1252 or ISO-8859-1 even where the bytes look like UTF-8; others converted.
      {"<title>\x93Quoted\x94 Caf\xc3\xa9</title>", "\xE2\x80\x9CQuoted\xE2\x80\x9D Caf\xC3\xA9"},
      {"<meta charset=iso-8859-1><title>Caf\xc3\xa9</title>", "Caf\xC3\x83\xC2\xA9"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><title>\xe9t\xe9</title>",
       "\xC3\xA9t\xC3\xA9"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
       "<title>\xF0\xD2\xC9\xD7\xC5\xD4</title>",
       "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {std::string("\xFF\xFE<\0t\0i\0t\0l\0e\0>\0\xE9\0<\0/\0t\0i\0t\0l\0e\0>\0", 34), "\xC3\xA9"},
      {"\xEF\xBB\xBF<title>BOM</title>", "BOM"},
      // A declared charset that does not read ASCII as ASCII cannot be the page's.
      {"<meta charset=utf-32><title>Caf\xc3\xa9</title>", "Caf\xC3\xA9"},
      {"<meta charset=ibm037><title>Plain</title>", "Plain"},
      {"<meta charset=no-such-thing><title>Caf\xe9</title>", "Caf\xC3\xA9"},
      // Markup: tags and comments inside hold no text; a title in a comment or script is none;
      // the first title that shows text counts; a lost end tag ends at the next tag.
      {"<title>A <b>bold</b><!-- x --> move &lt;b&gt; a < b</title>", "A bold move <b> a < b"},
      {"<!-- <title>Old</title> --><script>w('<title>No</title>')</script><title>Yes</title>",
       "Yes"},
      {"<title></title><title> \t</title><title>Second</title><title>Third</title>", "Second"},
      {"<title/><title>Real</title>", "Real"},
      {"<title>Lost end<p>text</p>", "Lost end"},
      {"<title>Misspelt</title<p>text", "Misspelt"},
      {std::string("<title>N\0U\1L &#1;</title>", 25), "NUL"},
  };
  for (const auto& [html, title] : cases) {
    SCOPED_TRACE(html);
    EXPECT_EQ(ReadPageTitle(html), title);
  }
}

TEST(ChmStringPoolTest, StoresEachTextOnceAndNoneAcrossA4096ByteBlock) {
  ChmStringPool pool;
  EXPECT_EQ(pool.Add(""), 0u);
  EXPECT_EQ(pool.Add("alpha"), 1u);
  EXPECT_EQ(pool.Add("beta"), 7u);
  EXPECT_EQ(pool.Add("alpha"), 1u);
  const std::string long_text(1500, 'x');
  EXPECT_EQ(pool.Add(long_text), 12u);
  EXPECT_EQ(pool.Add(long_text + "y"), 1513u);
  // 3015 + 1502 would cross 4096: the text starts the next block, after zero fill.
  EXPECT_EQ(pool.Add(long_text + "z"), 4096u);
  // A text that ends exactly at the block's end stays in it.
  const uint32_t fits = pool.Add(std::string(kChmTableBlockSize - 1502 - 1, 'f'));
  EXPECT_EQ(fits, 4096u + 1502);
  EXPECT_EQ(pool.Add("next"), 2 * kChmTableBlockSize);
  const std::vector<uint8_t>& bytes = pool.bytes();
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(TextAt(bytes, 7), "beta");
  EXPECT_EQ(bytes[4095], 0);
  EXPECT_EQ(TextAt(bytes, 4096), long_text + "z");
  // Many texts of random lengths: none crosses.
  for (int i = 0; i < 3000; ++i)
    pool.Add(std::to_string(i) + std::string(i * 7919 % 300, 'a'));
  ExpectNoStringCrossesABlock(pool.bytes(), 1);
}

TEST(ChmTopicTableTest, UrlTableAndUrlStringsKeepTheirBlocksAndTopicsPointIntoThem) {
  EXPECT_EQ(ChmUrlHash("Index.HTM"), ChmUrlHash("index.htm"));
  EXPECT_EQ(ChmUrlHash("a\\b.htm"), ChmUrlHash("a/b.htm"));
  EXPECT_NE(ChmUrlHash("a.htm"), ChmUrlHash("b.htm"));

  ChmStringPool strings;
  ChmTopicTable table;
  const size_t kTopics = 1000;
  auto path_of = [](size_t topic) {
    // Names of many lengths, so that #URLSTR records meet block ends at every offset.
    return "pages/" + std::string(topic * 37 % 200, 'p') + std::to_string(topic) + ".htm";
  };
  for (size_t i = 0; i < kTopics; ++i) {
    EXPECT_EQ(table.Add(path_of(i), i % 2 ? "Title " + std::to_string(i) : "", true, strings), i);
  }
  EXPECT_EQ(table.Add("toc.hhc", "", false, strings), kTopics);
  const ChmTopicFiles files = table.Build();
  ASSERT_EQ(files.topics.size(), (kTopics + 1) * 16);
  // #URLTBL: 341 entries of 12 bytes and four zero bytes to a block, sorted by hash.
  const size_t entries = kTopics + 1;
  const size_t full_blocks = entries / 341;
  ASSERT_EQ(files.urltbl.size(), entries * 12 + 4 * full_blocks);
  uint32_t previous = 0;
  for (size_t i = 0; i < entries; ++i) {
    const size_t at = (i / 341) * kChmTableBlockSize + (i % 341) * 12;
    if (i % 341 == 0 && i != 0) {
      EXPECT_EQ(U32(files.urltbl, at - 4), 0u);
    }
    EXPECT_GE(U32(files.urltbl, at), previous);
    previous = U32(files.urltbl, at);
  }
  // #URLSTR: a zero byte, then records that never cross a block.
  EXPECT_EQ(files.urlstr[0], 0);
  for (size_t topic = 0; topic <= kTopics; ++topic) {
    SCOPED_TRACE(topic);
    const size_t entry = topic * 16;
    const uint32_t urltbl = U32(files.topics, entry + 8);
    EXPECT_EQ(urltbl % kChmTableBlockSize % 12, 0u);
    EXPECT_EQ(U32(files.urltbl, urltbl + 4), topic);
    const std::string path = topic == kTopics ? "toc.hhc" : path_of(topic);
    EXPECT_EQ(U32(files.urltbl, urltbl), ChmUrlHash(path));
    const uint32_t urlstr = U32(files.urltbl, urltbl + 8);
    EXPECT_EQ(TextAt(files.urlstr, urlstr + 8), path);
    EXPECT_EQ(urlstr / kChmTableBlockSize, (urlstr + 8 + path.size()) / kChmTableBlockSize);
    const uint32_t title = U32(files.topics, entry + 4);
    if (topic % 2 && topic != kTopics) {
      EXPECT_EQ(TextAt(strings.bytes(), title), "Title " + std::to_string(topic));
    } else {
      EXPECT_EQ(title, 0xFFFFFFFFu);
    }
    EXPECT_EQ(files.topics[entry + 12], topic == kTopics ? 2 : 6);
  }
}

TEST(ChmTopicTableTest, FindsTopicsByPageAndTitle) {
  ChmStringPool strings;
  ChmTopicTable table;
  EXPECT_EQ(table.Add("Guide/A.htm", "Alpha", true, strings), 0u);
  EXPECT_EQ(table.Find("guide/a.HTM"), 0u);
  EXPECT_EQ(table.Find("guide/b.htm"), std::nullopt);
  // The same page under its own title is the page's topic; under another title a new one.
  EXPECT_EQ(table.FindOrAdd("guide/a.htm", "Alpha", true, strings), 0u);
  EXPECT_EQ(table.FindOrAdd("guide/a.htm", "Other label", true, strings), 1u);
  EXPECT_EQ(table.FindOrAdd("guide/a.htm", "Other label", false, strings), 1u);
  EXPECT_EQ(table.Find("guide/a.htm"), 0u);
  table.SetTocOffset(1, 0x1014);
  table.SetTocOffset(1, 0x2000);  // the first entry stays
  const ChmTopicFiles files = table.Build();
  EXPECT_EQ(U32(files.topics, 0), 0u);
  EXPECT_EQ(U32(files.topics, 16), 0x1014u);
}

// Thousands of topics, so that the look-up tables grow several times; names are found in any
// letter case, and a page's first topic stays its own.
TEST(ChmTopicTableTest, FindsEveryTopicAfterTheTableGrows) {
  ChmStringPool strings;
  ChmTopicTable table;
  constexpr uint32_t kPages = 3000;
  for (uint32_t i = 0; i < kPages; ++i) {
    const std::string page = "Part" + std::to_string(i % 7) + "/Page" + std::to_string(i) + ".htm";
    ASSERT_EQ(table.Add(page, "Title " + std::to_string(i), true, strings), i);
  }
  for (uint32_t i = 0; i < kPages; ++i) {
    const std::string page = "part" + std::to_string(i % 7) + "/PAGE" + std::to_string(i) + ".HTM";
    SCOPED_TRACE(page);
    EXPECT_EQ(table.FindOrAdd(page, "Label " + std::to_string(i), false, strings), kPages + i);
  }
  for (uint32_t i = 0; i < kPages; ++i) {
    const std::string page = "PART" + std::to_string(i % 7) + "/page" + std::to_string(i) + ".htm";
    SCOPED_TRACE(page);
    EXPECT_EQ(table.Find(page), i);
    EXPECT_EQ(table.FindOrAdd(page, "Title " + std::to_string(i), true, strings), i);
    EXPECT_EQ(table.FindOrAdd(page, "Label " + std::to_string(i), true, strings), kPages + i);
  }
  EXPECT_EQ(table.Find("part0/page1.htm"), std::nullopt);
  EXPECT_EQ(table.size(), 2 * kPages);
}

TEST(ChmSystemFileTest, ATextTooLongForItsRecordIsRefused) {
  ChmSystemInfo info;
  info.title = std::string(65534, 't');
  EXPECT_TRUE(BuildSystemFile(info, BuildIdxHdr(1)).ok());
  info.title += "t";
  const Result<std::vector<uint8_t>> system = BuildSystemFile(info, BuildIdxHdr(1));
  ASSERT_FALSE(system.ok());
  EXPECT_EQ(system.error().description, "title too long for a .chm (65535 bytes, at most 65534)");
}

}  // namespace
}  // namespace corvina::chm
