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
