#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "tests/helpers/LzxRoundTrip.h"
#include "workshop/chm/LzxBitWriter.h"
#include "workshop/chm/LzxEncoder.h"
#include "workshop/chm/LzxHuffman.h"
#include "workshop/chm/LzxSlots.h"

namespace corvina::chm {
namespace {

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out)
    b = static_cast<uint8_t>(rng());
  return out;
}

// Text that looks like generated pages: repeated markup with varying words and numbers.
std::vector<uint8_t> HtmlText(size_t size, uint32_t seed) {
  static const char* words[] = {"help",   "topic", "index",   "contents", "page",  "window",
                                "search", "title", "corvina", "site",     "image", "table"};
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < size) {
    text += "<p class=\"body\">";
    for (int i = 0; i < 12; ++i) {
      text += words[rng() % 12];
      text += rng() % 5 ? " " : std::to_string(rng() % 1000) + ", ";
    }
    text += "</p>\r\n";
    if (rng() % 7 == 0)
      text += "<a href=\"page" + std::to_string(rng() % 500) + ".htm\">next</a>\r\n";
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

// Fixed-size records drawn from a small set, so that matches lie at multiples of their size.
std::vector<uint8_t> Records(size_t size) {
  std::mt19937 rng(11);
  std::vector<std::vector<uint8_t>> kinds;
  for (int k = 0; k < 300; ++k) {
    std::vector<uint8_t> record(24);
    for (uint8_t& b : record)
      b = static_cast<uint8_t>(rng());
    kinds.push_back(record);
  }
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const std::vector<uint8_t>& record = kinds[rng() % kinds.size()];
    out.insert(out.end(), record.begin(), record.end());
  }
  out.resize(size);
  return out;
}

// Kraft's sum of the lengths in units of 2^-limit: exactly 2^limit for a complete prefix code.
uint64_t KraftSum(const std::vector<uint8_t>& lengths, int limit) {
  uint64_t sum = 0;
  for (uint8_t length : lengths) {
    if (length != 0 && length <= limit) sum += uint64_t{1} << (limit - length);
  }
  return sum;
}

TEST(LzxHuffmanTest, CodesAreCompleteWithinTheirLimitsAndPrefixFree) {
  struct Case {
    std::string what;
    std::vector<uint32_t> counts;
    int limit;
  };
  std::vector<uint32_t> fibonacci(40);
  fibonacci[0] = fibonacci[1] = 1;
  for (size_t i = 2; i < fibonacci.size(); ++i)
    fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
  std::vector<uint32_t> main_tree(kLzxMainTreeSize);
  std::mt19937 rng(5);
  for (uint32_t& count : main_tree)
    count = rng() % 3 == 0 ? 0 : 1u << (rng() % 20);
  std::vector<uint32_t> powers(24);
  for (size_t i = 0; i < powers.size(); ++i)
    powers[i] = 1u << i;
  const Case cases[] = {
      {"one symbol", {0, 0, 5, 0}, kLzxMaxCodeLength},
      {"symbol zero alone", {9, 0, 0}, kLzxMaxCodeLength},
      {"two symbols", {1, 1000}, kLzxMaxCodeLength},
      {"equal counts", std::vector<uint32_t>(kLzxMainTreeSize, 7), kLzxMaxCodeLength},
      {"skewed beyond the limit", fibonacci, kLzxMaxCodeLength},
      {"skewed, pretree limit", fibonacci, kLzxMaxPretreeCodeLength},
      {"skewed, aligned-tree limit",
       std::vector<uint32_t>(fibonacci.begin(), fibonacci.begin() + kLzxAlignedTreeSize),
       kLzxMaxAlignedCodeLength},
      {"powers of two", powers, kLzxMaxCodeLength},
      {"a main tree of mixed counts", main_tree, kLzxMaxCodeLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> lengths(c.counts.size());
    BuildHuffmanLengths(c.counts, c.limit, lengths);
    for (size_t i = 0; i < lengths.size(); ++i) {
      EXPECT_LE(lengths[i], c.limit) << i;
      if (c.counts[i] != 0) {
        EXPECT_GT(lengths[i], 0) << i;
      }
    }
    EXPECT_EQ(KraftSum(lengths, c.limit), uint64_t{1} << c.limit);
    // Canonical codes: no code is a prefix of another.
    std::vector<uint16_t> codes(lengths.size());
    BuildHuffmanCodes(lengths, codes);
    std::vector<std::string> bits;
    for (size_t i = 0; i < lengths.size(); ++i) {
      if (lengths[i] == 0) continue;
      ASSERT_LT(codes[i], 1u << lengths[i]) << i;
      std::string code;
      for (int b = lengths[i] - 1; b >= 0; --b)
        code += (codes[i] >> b & 1) ? '1' : '0';
      bits.push_back(code);
    }
    std::sort(bits.begin(), bits.end());
    for (size_t i = 1; i < bits.size(); ++i)
      EXPECT_FALSE(bits[i].starts_with(bits[i - 1])) << bits[i - 1] << " " << bits[i];
  }
  // No symbol used: no code at all.
  std::vector<uint8_t> lengths(8, 9);
  BuildHuffmanLengths(std::vector<uint32_t>(8, 0), kLzxMaxCodeLength, lengths);
  EXPECT_EQ(lengths, std::vector<uint8_t>(8, 0));
}

// The block type of the first block of an interval: after the E8 bit, three bits.
int FirstBlockType(const LzxCompressedInterval& out) {
  return out.bytes[1] >> 4 & 7;
}

TEST(LzxEncoderTest, ChoosesTheBlockTypeThatSuitsTheData) {
  LzxEncoder encoder;
  LzxCompressedInterval out;
  // Records of 24 bytes repeat at distances that are multiples of 8: the low three bits of every
  // offset are alike, which an aligned-offset block codes in fewer bits.
  const std::vector<uint8_t> records = Records(kLzxResetSize);
  encoder.EncodeInterval(records, out);
  EXPECT_EQ(FirstBlockType(out), 2);
  EXPECT_LT(out.bytes.size(), records.size() / 2);
  // Text matches at any distance: verbatim.
  const std::vector<uint8_t> text = HtmlText(kLzxResetSize, 1);
  encoder.EncodeInterval(text, out);
  EXPECT_EQ(FirstBlockType(out), 1);
  EXPECT_LT(out.bytes.size(), text.size() / 3);
  ASSERT_EQ(out.frame_offsets.size(), kLzxFramesPerReset);
  EXPECT_EQ(out.bytes.size() % 2, 0u);
  // Noise does not shrink: stored, at most a header per frame more than the data.
  const std::vector<uint8_t> noise = RandomBytes(kLzxResetSize, 2);
  encoder.EncodeInterval(noise, out);
  EXPECT_EQ(FirstBlockType(out), 3);
  EXPECT_LE(out.bytes.size(), noise.size() + 16 * kLzxFramesPerReset);
}

// Both readers give back what the encoder wrote, on one thread or several (0: as many as the
// machine has).
TEST(LzxRoundTripTest, DataOfManyShapesComesBackFromBothReaders) {
  struct Case {
    std::string what;
    std::vector<uint8_t> data;
    int threads = 1;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"one byte", {0x41}},
      {"all zeros", std::vector<uint8_t>(200000, 0)},
      {"random", RandomBytes(150000, 3)},
      {"text", HtmlText(300000, 4)},
      {"records (aligned-offset blocks)", Records(200000)},
  };
  for (size_t size : {kLzxFrameSize - 1, kLzxFrameSize, kLzxFrameSize + 1, kLzxResetSize - 1,
                      kLzxResetSize, kLzxResetSize + 1, 3 * kLzxFrameSize}) {
    cases.push_back({"text of " + std::to_string(size), HtmlText(size, 5)});
  }
  // Text then noise in one interval, and noise then text: the frames need different blocks.
  std::vector<uint8_t> mixed = HtmlText(kLzxFrameSize, 6);
  const std::vector<uint8_t> noise = RandomBytes(kLzxFrameSize, 7);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  cases.push_back({"text then noise", mixed});
  std::vector<uint8_t> reversed(noise);
  const std::vector<uint8_t> text = HtmlText(kLzxFrameSize + 5000, 8);
  reversed.insert(reversed.end(), text.begin(), text.end());
  cases.push_back({"noise then text", reversed});
  // Long runs at every distance the window allows.
  std::vector<uint8_t> repeats = RandomBytes(40000, 9);
  for (int i = 0; i < 6; ++i)
    repeats.insert(repeats.end(), repeats.begin(), repeats.begin() + 30000);
  cases.push_back({"far repeats", repeats});
  std::vector<uint8_t> large;
  for (uint32_t part = 0; large.size() < 20'000'000; ++part) {
    const std::vector<uint8_t> piece =
        part % 5 == 4 ? RandomBytes(300000, part) : HtmlText(700000, part);
    large.insert(large.end(), piece.begin(), piece.end());
  }
  cases.push_back({"20 MB of mixed data", std::move(large), 0});
  // The fuzz target's corpus.
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(CORVINA_TEST_DATA).parent_path().parent_path() /
           "fuzz/corpus/chm_lzx")) {
    const std::string bytes = testing::ReadFileBytes(entry.path());
    cases.push_back({entry.path().filename().string(),
                     {bytes.begin(), bytes.end()},
                     1 + static_cast<int>(cases.size() % 2)});
  }
  ASSERT_GE(cases.size(), 17u + 7);  // the corpus holds at least 7 inputs
  testing::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckLzxRoundTrip(c.data, dir.path(), c.threads), "");
  }
}

}  // namespace
}  // namespace corvina::chm
