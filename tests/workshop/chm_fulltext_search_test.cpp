#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/ChmFullTextIndex.h"
#include "workshop/chm/ChmFullTextSearch.h"
#include "workshop/chm/ChmFullTextWords.h"
#include "workshop/common/ChmArchive.h"

namespace corvina::chm {
namespace {

// Pages of long words that share little of their beginnings make a tree three levels deep.
std::string LongWord(int page, int n) {
  const std::string number =
      std::to_string(1000 + page).substr(1) + "x" + std::to_string(100 + n).substr(1);
  return static_cast<char>('a' + (page * 7 + n) % 26) + number + std::string(60, 'q');
}

constexpr int kPages = 700;
constexpr int kWordsPerPage = 10;

std::string Page(int i) {
  std::string html = "<title>Page " + std::to_string(i) + (i == 5 ? " Only" : "") + "</title><p>";
  html += i % 2 == 0 ? "even common" : "common";
  for (int n = 0; n < kWordsPerPage; ++n)
    html += " " + LongWord(i, n);
  return html + "</p>";
}

std::string BuildIndex() {
  ChmFullTextIndex index(0x0409);
  for (int i = 0; i < kPages; ++i)
    index.AddPage(static_cast<uint32_t>(i), GroupPageWords(ExtractPageWords(Page(i))));
  const std::vector<uint8_t> bytes = index.Build();
  return std::string(bytes.begin(), bytes.end());
}

const std::string& Index() {
  static const std::string index = BuildIndex();
  return index;
}

std::vector<uint32_t> Range(uint32_t from, uint32_t to, uint32_t step) {
  std::vector<uint32_t> out;
  for (uint32_t i = from; i < to; i += step)
    out.push_back(i);
  return out;
}

TEST(ChmFullTextSearchTest, FindsEveryWordOfOurIndexAtAnyDepth) {
  const std::string& index = Index();
  ASSERT_EQ(index[0x18], 3) << "the pages should make a three-level tree";
  const ChmFullTextReader reader(index);
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(reader.Topics("common"), Range(0, kPages, 1));
  EXPECT_EQ(reader.Topics("even"), Range(0, kPages, 2));
  EXPECT_EQ(reader.Topics("page"), Range(0, kPages, 1));  // title words
  EXPECT_EQ(reader.Topics("only"), std::vector<uint32_t>{5});
  for (int i = 0; i < kPages; i += 37) {
    for (int n = 0; n < kWordsPerPage; n += 3) {
      SCOPED_TRACE(LongWord(i, n));
      EXPECT_EQ(reader.Topics(LongWord(i, n)), std::vector<uint32_t>{static_cast<uint32_t>(i)});
    }
  }
  for (const char* absent : {"", "9999", "comm", "commons", "zzzz", "\xff"})
    EXPECT_EQ(reader.Topics(absent), std::vector<uint32_t>{}) << absent;
}

void SetU32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A one-leaf index written by hand, as another compiler writes it: the title entry of "a"
// before its body entry, and the leaf's next-leaf field pointing back at itself.
std::string HandMadeIndex() {
  std::string bytes(0x400 + 4096, '\0');
  bytes[2] = 0x28;
  SetU32(bytes, 0x08, 0x400);
  SetU32(bytes, 0x14, 0x400);
  bytes[0x18] = 1;  // depth
  const char roots[] = {2, 1, 2, 1, 2, 4};
  bytes.replace(0x1E, 6, roots, 6);
  SetU32(bytes, 0x2E, 4096);
  SetU32(bytes, 0x400, 0x400);  // next leaf: itself
  const uint32_t wlc = static_cast<uint32_t>(bytes.size());
  // Topic 3 ("101"), one hit ("01") at 0 ("00000"); then topic 7 ("11011"), the same hit.
  bytes += std::string("\xa8\x00\xda\x00", 4);
  std::string entries;
  const auto entry = [&](std::string word_bytes, char context, uint32_t at) {
    entries += word_bytes;
    entries += context;
    entries += '\x01';  // one topic
    entries += std::string(4, '\0');
    SetU32(entries, entries.size() - 4, at);
    entries += std::string(2, '\0');
    entries += '\x02';  // two bytes of locations
  };
  entry(std::string("\x02\x00"
                    "a",
                    3),
        1, wlc);
  entry(std::string("\x01\x01", 2), 0, wlc + 2);
  bytes.replace(0x408, entries.size(), entries);
  const uint16_t free = static_cast<uint16_t>(4096 - 8 - entries.size());
  bytes[0x406] = static_cast<char>(free & 0xFF);
  bytes[0x407] = static_cast<char>(free >> 8);
  return bytes;
}

TEST(ChmFullTextSearchTest, ReadsTitleEntriesFirstAndEndsALeafChainThatLoops) {
  const std::string bytes = HandMadeIndex();
  const ChmFullTextReader reader(bytes);
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(reader.Topics("a"), (std::vector<uint32_t>{3, 7}));
  EXPECT_EQ(reader.Topics("b"), std::vector<uint32_t>{});  // walks the looping chain, ends
}

TEST(ChmFullTextSearchTest, DamagedIndexFindsLessButStaysInsideTheFile) {
  const std::string& good = Index();
  const std::vector<std::string> words = {"common", "even", LongWord(300, 4), "zzzz"};
  std::vector<std::string> damaged;
  for (size_t size : {size_t{0}, size_t{0x3FF}, size_t{0x400}, good.size() / 2, good.size() - 1})
    damaged.push_back(good.substr(0, size));
  uint32_t seed = 12345;
  for (int round = 0; round < 200; ++round) {
    std::string bytes = good;
    for (int flip = 0; flip < 8; ++flip) {
      seed = seed * 1103515245 + 12345;
      const size_t at = round < 100 ? 0x400 + seed % (bytes.size() - 0x400) : seed % 0x80;
      bytes[at] = static_cast<char>(bytes[at] ^ (1 + seed % 255));
    }
    damaged.push_back(std::move(bytes));
  }
  for (const std::string& bytes : damaged) {
    const ChmFullTextReader reader(bytes);
    for (const std::string& word : words) {
      for (uint32_t topic : reader.Topics(word))
        EXPECT_LT(topic, uint32_t{1} << 31);
    }
  }
}

// hhc leaves the words of the project's stop list out of the search index; a stop list it
// cannot read is a warning, and every word is indexed.
TEST(ChmFullTextSearchTest, HhcLeavesTheStopListsWordsOut) {
  struct Case {
    const char* stop_list;  // nullptr: the file named is missing
    std::vector<uint32_t> the;
    const char* warning;
  };
  const Case cases[] = {
      {"the\r\nAND\r\n", {}, ""},
      {nullptr,
       {0},
       "HHC4009: Warning: The stop list file stop.stp cannot be read; every word is "
       "indexed for search.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stop_list ? c.stop_list : "missing");
    testing::TempDir dir;
    testing::WriteFileBytes(dir / "a.htm", "<title>The Guide</title><p>the quick fox and the dog");
    testing::WriteFileBytes(dir / "p.hhp",
                            "[OPTIONS]\r\nCompiled file=p.chm\r\nFull-text search=Yes\r\n"
                            "Full text search stop list file=stop.stp\r\n\r\n[FILES]\r\na.htm\r\n");
    if (c.stop_list) testing::WriteFileBytes(dir / "stop.stp", c.stop_list);
    const testing::ProgramRun run =
        testing::RunProgram({testing::BuiltProgram("hhc"), "p.hhp"}, dir.path());
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(c.warning), std::string::npos) << run.out;
    Result<workshop::ChmArchive> chm = workshop::ChmArchive::Open(dir / "p.chm");
    ASSERT_TRUE(chm.ok());
    const Result<std::string> index = chm->ReadFile("/$FIftiMain", 1 << 20);
    ASSERT_TRUE(index.ok());
    const ChmFullTextReader reader(*index);
    EXPECT_EQ(reader.Topics("the"), c.the);
    EXPECT_EQ(reader.Topics("and"), c.the);
    EXPECT_EQ(reader.Topics("quick"), std::vector<uint32_t>{0});
    EXPECT_EQ(reader.Topics("guide"), std::vector<uint32_t>{0});
  }
}

// A charset that search cannot read is a warning, once per charset, naming the first page that
// declares it; the compile goes on and the page's bytes are indexed as Windows-1252.
TEST(ChmFullTextSearchTest, HhcWarnsOnceOfEachCharsetSearchCannotRead) {
  testing::TempDir dir;
  const std::pair<const char*, std::string> pages[] = {
      {"a.htm", "<meta charset=koi8-r><title>A</title><p>\xF0\xD2\xC9"},
      {"b.htm", "<meta charset=KOI8-R><title>B</title><p>\xF0\xD2\xC9 \xC4\xC1"},
      {"c.htm", "<?xml version='1.0' encoding='x-mac-roman'?><title>C</title><p>caf\x8e"},
      {"d.htm", "<meta charset=latin1><title>D</title><p>caf\xe9"},
  };
  std::string project =
      "[OPTIONS]\r\nCompiled file=p.chm\r\nFull-text search=Yes\r\n\r\n[FILES]\r\n";
  for (const auto& [name, html] : pages) {
    testing::WriteFileBytes(dir / name, html);
    project += std::string(name) + "\r\n";
  }
  testing::WriteFileBytes(dir / "p.hhp", project);
  const testing::ProgramRun run =
      testing::RunProgram({testing::BuiltProgram("hhc"), "p.hhp"}, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  std::vector<std::string> warnings;
  std::istringstream out(run.out);
  for (std::string line; std::getline(out, line);) {
    if (line.starts_with("HHC")) warnings.push_back(line);
  }
  const std::string tail =
      "): such pages' words are indexed as Windows-1252, or as UTF-8 where their bytes are "
      "UTF-8.";
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "HHC4009: Warning: Full-text search does not read the charset "
                          "\"koi8-r\" (first declared by a.htm" +
                              tail,
                          "HHC4009: Warning: Full-text search does not read the charset "
                          "\"x-mac-roman\" (first declared by c.htm" +
                              tail,
                      }))
      << run.out;
  EXPECT_NE(run.out.find(", 4 files, 2 warnings."), std::string::npos) << run.out;
  Result<workshop::ChmArchive> chm = workshop::ChmArchive::Open(dir / "p.chm");
  ASSERT_TRUE(chm.ok());
  const Result<std::string> index = chm->ReadFile("/$FIftiMain", 1 << 20);
  ASSERT_TRUE(index.ok());
  const ChmFullTextReader reader(*index);
  EXPECT_EQ(reader.Topics("\xf0\xf2\xe9"), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(reader.Topics("\xe4\xe1"), std::vector<uint32_t>{1});
  EXPECT_EQ(reader.Topics("caf\xe9"), std::vector<uint32_t>{3});
}

}  // namespace
}  // namespace corvina::chm
