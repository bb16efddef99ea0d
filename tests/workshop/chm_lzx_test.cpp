#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/LzxBitWriter.h"
#include "workshop/chm/LzxEncoder.h"
#include "workshop/chm/LzxHuffman.h"
#include "workshop/chm/LzxSlots.h"
#include "workshop/chm/fuzz/LzxRoundTrip.h"

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

TEST(LzxBitWriterTest, PacksMsbFirstIntoLittleEndianWords) {
  std::vector<uint8_t> out;
  LzxBitWriter writer(out);
  writer.Put(0, 1);       // E8 flag
  writer.Put(1, 3);       // verbatim
  writer.Put(32768, 24);  // block size
  writer.Put(4, 4);       // first pretree length
  writer.Put(0x4444, 16);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x08, 0x10, 0x04, 0x00, 0x44, 0x44}));
  writer.Put(1, 3);
  writer.AlignToWord();
  EXPECT_EQ(out.size(), 8u);
  EXPECT_EQ(out[7], 0x20);
  writer.PadForUncompressed();  // already aligned: a whole zero word
  EXPECT_EQ(out.size(), 10u);
}

TEST(LzxSlotsTest, SlotsMatchTheirBasesAndFooters) {
  EXPECT_EQ(kLzxSlotBase[19], 768u);
  EXPECT_EQ(kLzxFooterBits[19], 8);
  EXPECT_EQ(kLzxSlotBase[31], 49152u);
  EXPECT_EQ(LzxSlotOf(1002), 19);  // distance 1000
  for (uint32_t f = 0; f < 65536; ++f) {
    const int slot = LzxSlotOf(f);
    ASSERT_GE(f, kLzxSlotBase[slot]) << f;
    ASSERT_LT(f - kLzxSlotBase[slot], 1u << kLzxFooterBits[slot]) << f;
  }
}

TEST(LzxHuffmanTest, CodesAreCompleteAndLimited) {
  struct Case {
    const char* what;
    std::vector<uint32_t> counts;
    int limit;
  };
  std::vector<uint32_t> fibonacci(40);
  fibonacci[0] = fibonacci[1] = 1;
  for (size_t i = 2; i < fibonacci.size(); ++i)
    fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
  const Case cases[] = {
      {"one symbol", {0, 0, 5, 0}, 16},      {"symbol zero alone", {9, 0, 0}, 16},
      {"two symbols", {1, 1000}, 16},        {"skewed beyond the limit", fibonacci, 16},
      {"skewed, small limit", fibonacci, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> lengths(c.counts.size());
    BuildHuffmanLengths(c.counts, c.limit, lengths);
    double kraft = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
      EXPECT_LE(lengths[i], c.limit);
      if (c.counts[i] != 0) {
        EXPECT_GT(lengths[i], 0);
      }
      if (lengths[i]) kraft += 1.0 / (1u << lengths[i]);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
  }
}

TEST(LzxEncoderTest, IntervalsAreWordAlignedWithOneOffsetPerFrame) {
  LzxEncoder encoder;
  LzxCompressedInterval out;
  const std::vector<uint8_t> text = HtmlText(kLzxResetSize, 1);
  encoder.EncodeInterval(text, out);
  ASSERT_EQ(out.frame_offsets.size(), 2u);
  EXPECT_EQ(out.frame_offsets[0], 0u);
  EXPECT_EQ(out.bytes.size() % 2, 0u);
  EXPECT_LT(out.bytes.size(), text.size() / 3);
  // E8 flag 0, then a verbatim (1) or aligned (2) block of 65536 bytes.
  EXPECT_TRUE(out.bytes[1] == 0x10 || out.bytes[1] == 0x20);

  const std::vector<uint8_t> noise = RandomBytes(kLzxResetSize, 2);
  encoder.EncodeInterval(noise, out);
  // Stored blocks (type 3) cost 16 bytes of header per frame at most.
  EXPECT_EQ(out.bytes[1] >> 4 & 7, 3);
  EXPECT_LE(out.bytes.size(), noise.size() + 32);

  // Records of 24 bytes repeat at distances that are multiples of 8: an aligned-offset block.
  const std::vector<uint8_t> records = Records(kLzxResetSize);
  encoder.EncodeInterval(records, out);
  EXPECT_EQ(out.bytes[1] >> 4 & 7, 2);
}

class LzxRoundTripTest : public ::testing::Test {
 protected:
  void Check(const std::vector<uint8_t>& data, int threads = 1) {
    EXPECT_EQ(CheckLzxRoundTrip(data, dir_.path(), threads), "");
  }
  testing::TempDir dir_;
};

TEST_F(LzxRoundTripTest, DataOfManyShapesComesBackFromBothReaders) {
  struct Case {
    std::string what;
    std::vector<uint8_t> data;
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Check(c.data);
  }
}

TEST_F(LzxRoundTripTest, TwentyMegabytesOfMixedDataComeBack) {
  std::vector<uint8_t> data;
  for (uint32_t part = 0; data.size() < 20'000'000; ++part) {
    const std::vector<uint8_t> piece =
        part % 5 == 4 ? RandomBytes(300000, part) : HtmlText(700000, part);
    data.insert(data.end(), piece.begin(), piece.end());
  }
  Check(data, 0);
}

// A run of a few minutes: --gtest_also_run_disabled_tests runs it.
TEST_F(LzxRoundTripTest, DISABLED_HundredMegabytesComeBack) {
  std::vector<uint8_t> data;
  for (uint32_t part = 0; data.size() < 100'000'000; ++part) {
    const std::vector<uint8_t> piece =
        part % 5 == 4 ? RandomBytes(1000000, part) : HtmlText(3000000, part);
    data.insert(data.end(), piece.begin(), piece.end());
  }
  Check(data, 0);
}

// The fuzz target's corpus, run as a plain test.
TEST_F(LzxRoundTripTest, FuzzCorpusComesBack) {
  const std::filesystem::path corpus =
      std::filesystem::path(CORVINA_TEST_DATA).parent_path().parent_path() /
      "workshop/chm/fuzz/corpus";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::string bytes = testing::ReadFileBytes(entry.path());
    Check({bytes.begin(), bytes.end()}, 1 + inputs % 2);
    ++inputs;
  }
  EXPECT_GE(inputs, 7);
}

}  // namespace
}  // namespace corvina::chm
