#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace corvina {
namespace {

TEST(TextEncodingTest, Utf8BecomesWindows1252WithQuestionMarksForTheRest) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"plain <a> & \"b\"", "plain <a> & \"b\""},
      {"Caf\xC3\xA9 \xC3\x9C"
       "ber",
       "Caf\xE9 \xDC"
       "ber"},
      {"\xE2\x82\xAC 5 \xE2\x80\x94 \xE2\x80\x9Cq\xE2\x80\x9D", "\x80 5 \x97 \x93q\x94"},
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},  // CJK
      {"\xF0\x9F\x98\x80!", "?!"},         // outside the BMP
      {"bad \xC3 byte", "bad ? byte"},     // truncated sequence
      {"\xC0\xAF", "??"},                  // overlong form
      {"\xC2\x81", "?"},                   // C1 control Windows-1252 lacks
  };
  for (const auto& [utf8, ansi] : cases) {
    SCOPED_TRACE(utf8);
    EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
  }
}

TEST(TextEncodingTest, Windows1252RoundTripsThroughUtf8) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  const std::string utf8 = AnsiToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  std::string expected = all;
  for (char& c : expected) {
    const auto b = static_cast<unsigned char>(c);
    // The five bytes that Windows-1252 leaves undefined come back as "?".
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) c = '?';
  }
  EXPECT_EQ(Utf8ToAnsi(utf8), expected);
  EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));
}

// Long ASCII runs are passed over a word at a time: a sequence at any place inside or after
// one, near a word's end included, is still converted or refused.
TEST(TextEncodingTest, SequencesAnywhereInLongAsciiRunsAreSeen) {
  for (size_t at = 0; at <= 19; ++at) {
    SCOPED_TRACE(at);
    const std::string before(at, 'a');
    const std::string after(19 - at, 'b');
    EXPECT_EQ(Utf8ToAnsi(before + "\xC3\xA9" + after), before + "\xE9" + after);
    EXPECT_EQ(Utf8ToAnsi(before + "\xE2\x82\xAC" + after + "\xC3\x9C"),
              before + "\x80" + after + "\xDC");
    EXPECT_TRUE(IsValidUtf8(before + "\xC3\xA9" + after));
    EXPECT_FALSE(IsValidUtf8(before + "\xE9" + after));
    EXPECT_FALSE(IsValidUtf8(before + after + "\xC3"));
    EXPECT_TRUE(FitsAnsi(before + after));
    EXPECT_TRUE(FitsAnsi(before + "\xC3\xA9" + after));
    EXPECT_FALSE(FitsAnsi(before + "\xE6\x97\xA5" + after));
    EXPECT_EQ(DecodeUtf8OrWindows1252(before + "\xE9" + after), before + "\xC3\xA9" + after);
  }
}

}  // namespace
}  // namespace corvina
