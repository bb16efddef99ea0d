#include <gtest/gtest.h>

#include <map>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/ChmFullTextIndex.h"
#include "workshop/chm/ChmFullTextWords.h"

namespace corvina::chm {
namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t U16(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8;
}

std::string Bits(const std::vector<uint8_t>& bytes) {
  std::string bits;
  for (uint8_t byte : bytes) {
    for (int i = 7; i >= 0; --i)
      bits += (byte >> i & 1) ? '1' : '0';
  }
  return bits;
}

TEST(ChmFullTextIndexTest, WritesScaleAndRootCodes) {
  // value, root, code
  const std::tuple<uint32_t, int, std::string> cases[] = {
      {0, 1, "00"},           {1, 1, "01"},
      {2, 1, "100"},          {3, 1, "101"},
      {4, 1, "11000"},        {15, 1, "1110111"},
      {16, 1, "111100000"},   {120, 1, "1111110111000"},
      {0, 4, "00000"},        {1, 4, "00001"},
      {15, 4, "01111"},       {16, 4, "100000"},
      {120, 4, "1110111000"}, {0xFFFFFFFF, 1, std::string(31, '1') + "0" + std::string(31, '1')},
  };
  for (const auto& [value, root, code] : cases) {
    SCOPED_TRACE(std::to_string(value) + " r=" + std::to_string(root));
    std::vector<uint8_t> out;
    FullTextBitWriter bits(out);
    bits.PutSrCode(value, root);
    bits.Flush();
    std::string padded = code;
    padded.resize((code.size() + 7) / 8 * 8, '0');
    EXPECT_EQ(Bits(out), padded);
  }
}

// One page with a word in its title and its body: every byte of the file.
TEST(ChmFullTextIndexTest, WritesTheExactFileForOnePage) {
  ChmFullTextIndex index(0x0407);
  index.AddPage(0, GroupPageWords(ExtractPageWords("<title>Hi</title><p>hi there</p>")));
  const std::vector<uint8_t> file = index.Build();

  std::vector<uint8_t> expected(0x400, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      expected[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  expected[2] = 0x28;
  put32(0x04, 1);      // pages
  put32(0x08, 0x406);  // root: the only leaf, after the location lists
  put32(0x10, 1);      // leaves
  put32(0x14, 0x406);
  expected[0x18] = 1;  // depth
  put32(0x1A, 7);
  for (auto [at, v] : {std::pair{0x1E, 2}, {0x1F, 1}, {0x20, 2}, {0x21, 1}, {0x22, 2}, {0x23, 4}})
    expected[at] = static_cast<uint8_t>(v);
  put32(0x2E, 4096);
  put32(0x36, 1);
  put32(0x3A, 5);
  put32(0x3E, 5);      // longest word
  put32(0x42, 3);      // occurrences
  put32(0x46, 3);      // entries
  expected[0x4A] = 9;  // lengths of the occurrences
  put32(0x52, 9);      // lengths of the entries
  put32(0x56, 4048);   // free bytes of the last leaf
  put32(0x7A, 1252);
  put32(0x7E, 0x0407);
  // Location lists: topic 0, one hit, location 1 (body "hi"), 0 (title "hi"), 2 ("there").
  for (uint8_t b : {0x10, 0x80, 0x10, 0x00, 0x11, 0x00})
    expected.push_back(b);
  const std::vector<uint8_t> leaf = {
      0, 0, 0,   0,   0,    0,    0xD0, 0x0F,                                 // header
      3, 0, 'h', 'i', 0,    1,    0x00, 0x04, 0, 0,    0,    0, 2,            // hi, body
      1, 2, 1,   1,   0x02, 0x04, 0,    0,    0, 0,    2,                     // hi, title
      6, 0, 't', 'h', 'e',  'r',  'e',  0,    1, 0x04, 0x04, 0, 0, 0, 0, 2};  // there
  expected.insert(expected.end(), leaf.begin(), leaf.end());
  expected.resize(0x406 + 4096, 0);
  EXPECT_EQ(file, expected);
}

TEST(ChmFullTextIndexTest, EncodesTheLocationListsOfManyTopics) {
  // "twice" in topics 120 and 121 at locations 3 and 4 of each.
  PageWordGroups page;
  page.text = "twice";
  page.groups = {{0, 5, false, 0, 2, FullTextKeyHash("twice", false)}};
  page.locations = {3, 4};
  ChmFullTextIndex index(0x0409);
  index.AddPage(120, page);
  index.AddPage(121, page);
  const std::vector<uint8_t> file = index.Build();
  const std::vector<uint8_t> wlc(file.begin() + 0x400, file.begin() + 0x406);
  EXPECT_EQ(wlc, (std::vector<uint8_t>{0xfd, 0xc4, 0x18, 0x40, 0x60, 0xc2}));
  const std::vector<uint8_t> entry(file.begin() + 0x406 + 8, file.begin() + 0x406 + 8 + 15);
  EXPECT_EQ(entry, (std::vector<uint8_t>{6, 0, 't', 'w', 'i', 'c', 'e', 0, 2, 0, 4, 0, 0, 0, 0}));
  EXPECT_EQ(file[0x406 + 8 + 15], 6);  // the list's length
}

TEST(ChmFullTextIndexTest, WriteHandsOverTheBuiltBytesInPiecesAndStopsWhenRefused) {
  const std::string html =
      "<title>Alpha beta</title><p>alpha gamma delta alpha epsilon beta zeta eta theta</p>";
  const PageWordGroups page = GroupPageWords(ExtractPageWords(html));
  ChmFullTextIndex built(0x0409);
  ChmFullTextIndex written(0x0409);
  ChmFullTextIndex refused(0x0409);
  for (uint32_t topic = 0; topic < 50; ++topic) {
    built.AddPage(topic, page);
    written.AddPage(topic, page);
    refused.AddPage(topic, page);
  }
  const std::vector<uint8_t> file = built.Build();
  std::vector<uint8_t> pieces;
  size_t count = 0;
  EXPECT_TRUE(written.Write([&](std::span<const uint8_t> bytes) {
    pieces.insert(pieces.end(), bytes.begin(), bytes.end());
    ++count;
    return true;
  }));
  EXPECT_EQ(pieces, file);
  EXPECT_GT(count, 2u);  // the header, lists, the leaf: not one block

  size_t offered = 0;
  EXPECT_FALSE(refused.Write([&](std::span<const uint8_t>) { return ++offered < 2; }));
  EXPECT_EQ(offered, 2u);
}

// Pages of words drawn from a small vocabulary, some on one page only, some on most.
std::vector<PageWordGroups> SpillPages() {
  std::mt19937 rng(7);
  std::vector<PageWordGroups> pages;
  for (int p = 0; p < 300; ++p) {
    std::string html = "<title>Page " + std::to_string(p) + "</title><p>";
    for (int w = 0; w < 60; ++w)
      html += "w" + std::to_string(rng() % (w < 30 ? 20 : 2000)) + " ";
    pages.push_back(GroupPageWords(ExtractPageWords(html + "only" + std::to_string(p))));
  }
  return pages;
}

// Lists written to scratch runs and merged back give the bytes of lists held in memory, for
// runs of one piece to runs of many pages.
TEST(ChmFullTextIndexTest, ListsWrittenToScratchRunsGiveTheSameFile) {
  const std::vector<PageWordGroups> pages = SpillPages();
  ChmFullTextIndex held(0x0409);
  for (uint32_t topic = 0; topic < pages.size(); ++topic)
    held.AddPage(topic * 3, pages[topic]);
  const std::vector<uint8_t> file = held.Build();
  EXPECT_EQ(held.spilled_runs(), 0u);
  for (size_t limit : {size_t{1}, size_t{100}, size_t{5000}, size_t{60000}}) {
    SCOPED_TRACE(limit);
    testing::TempDir dir;
    ChmFullTextIndex spilled(0x0409, dir.path(), limit);
    for (uint32_t topic = 0; topic < pages.size(); ++topic)
      spilled.AddPage(topic * 3, pages[topic]);
    EXPECT_GT(spilled.spilled_runs(), 1u);
    EXPECT_EQ(spilled.Build(), file);
    EXPECT_TRUE(spilled.status().ok());
  }
}

TEST(ChmFullTextIndexTest, AScratchFolderThatCannotBeUsedFailsTheWrite) {
  testing::TempDir dir;
  ChmFullTextIndex index(0x0409, dir / "missing", 100);
  for (const PageWordGroups& page : SpillPages())
    index.AddPage(static_cast<uint32_t>(index.pages()), page);
  EXPECT_FALSE(index.Write([](std::span<const uint8_t>) { return true; }));
  EXPECT_FALSE(index.status().ok());
  EXPECT_NE(index.status().description().find("missing"), std::string::npos)
      << index.status().description();
}

TEST(ChmFullTextIndexTest, EmptyIndexIsOneEmptyLeaf) {
  ChmFullTextIndex index(0x0409);
  index.AddPage(0, GroupPageWords(ExtractPageWords("<script>x</script>")));
  const std::vector<uint8_t> file = index.Build();
  ASSERT_EQ(file.size(), 0x400u + 4096);
  EXPECT_EQ(U32(file, 0x04), 1u);
  EXPECT_EQ(U32(file, 0x08), 0x400u);
  EXPECT_EQ(U16(file, 0x18), 1u);
  EXPECT_EQ(U16(file, 0x400 + 6), 4088u);
}

// A reader of the tree as readers walk it: from the root down to the first key that is not
// below the word, then along the leaf.
class TreeReader {
 public:
  explicit TreeReader(const std::vector<uint8_t>& file) : file_(file) {}

  // Every entry, following the leaf chain from the leftmost leaf.
  std::vector<std::pair<std::string, uint8_t>> AllEntries(size_t* leaves) {
    size_t node = U32(file_, 0x08);
    for (uint32_t level = U16(file_, 0x18); level > 1; --level)
      node = U32(file_, node + 2 + 2 + file_[node + 2] - 1);  // first child
    std::vector<std::pair<std::string, uint8_t>> entries;
    *leaves = 0;
    for (; node != 0; node = U32(file_, node)) {
      ++*leaves;
      ReadLeaf(node, [&](const std::string& word, uint8_t context, size_t) {
        entries.emplace_back(word, context);
      });
    }
    return entries;
  }

  // The leaf that the descent for `word` reaches.
  size_t Descend(const std::string& word) {
    size_t node = U32(file_, 0x08);
    for (uint32_t level = U16(file_, 0x18); level > 1; --level) {
      const size_t end = 4096 - U16(file_, node);
      std::string key;
      size_t next = 0;
      for (size_t i = 2; i < end;) {
        const size_t suffix = file_[node + i] - 1u;
        key.resize(file_[node + i + 1]);
        key.append(reinterpret_cast<const char*>(&file_[node + i + 2]), suffix);
        next = U32(file_, node + i + 2 + suffix);
        if (word <= key) break;
        i += 2 + suffix + 6;
      }
      node = next;
    }
    return node;
  }

  template <typename F>
  void ReadLeaf(size_t node, F&& visit) {
    const size_t end = 4096 - U16(file_, node + 6);
    std::string word;
    for (size_t i = 8; i < end;) {
      const size_t suffix = file_[node + i] - 1u;
      word.resize(file_[node + i + 1]);
      word.append(reinterpret_cast<const char*>(&file_[node + i + 2]), suffix);
      i += 2 + suffix;
      const uint8_t context = file_[node + i++];
      while (file_[node + i] & 0x80)
        ++i;
      ++i;
      i += 6;
      while (file_[node + i] & 0x80)
        ++i;
      ++i;
      visit(word, context, node);
    }
  }

 private:
  const std::vector<uint8_t>& file_;
};

TEST(ChmFullTextIndexTest, BuildsIndexLevelsThatLeadToEveryWord) {
  // 30,000 words of 30 letters: some 300 leaves and three levels.
  std::mt19937 rng(7);
  std::map<std::string, int> words;
  while (words.size() < 30000) {
    std::string word;
    for (int i = 0; i < 30; ++i)
      word += static_cast<char>('a' + rng() % 26);
    words.emplace(word, 0);
  }
  PageWordGroups page;
  for (const auto& [word, unused] : words) {
    page.groups.push_back({static_cast<uint32_t>(page.text.size()), 30, false,
                           static_cast<uint32_t>(page.locations.size()), 1,
                           FullTextKeyHash(word, false)});
    page.locations.push_back(static_cast<uint32_t>(page.locations.size()));
    page.text += word;
  }
  ChmFullTextIndex index(0x0409);
  index.AddPage(0, page);
  const std::vector<uint8_t> file = index.Build();
  EXPECT_EQ(U16(file, 0x18), 3u);

  TreeReader reader(file);
  size_t leaves = 0;
  const auto entries = reader.AllEntries(&leaves);
  EXPECT_EQ(leaves, U32(file, 0x10));
  ASSERT_EQ(entries.size(), words.size());
  size_t i = 0;
  // Not a structured binding: clang 14 lets no lambda capture one.
  for (const auto& entry : words) {
    const std::string& word = entry.first;
    ASSERT_EQ(entries[i].first, word) << i;
    if (i % 97 == 0) {
      bool found = false;
      reader.ReadLeaf(reader.Descend(word),
                      [&](const std::string& w, uint8_t, size_t) { found = found || w == word; });
      EXPECT_TRUE(found) << word;
    }
    ++i;
  }
}

}  // namespace
}  // namespace corvina::chm
