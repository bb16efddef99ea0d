#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Text.h"

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

TEST(TextEncodingTest, DeclaredCharsetsConvertThroughTheSystem) {
  struct Case {
    std::string_view label;
    std::string_view bytes;
    std::optional<std::string_view> utf8;
  };
  const Case cases[] = {
      // "Привет" in KOI8-R, "Łódź" in ISO-8859-2, "日本" in Shift_JIS.
      {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {"iso-8859-2",
       "\xA3\xF3"
       "d\xBC",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA"},
      {"shift_jis", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"utf-16", std::string_view("\xFF\xFEO\0k\0", 6), "Ok"},
      {"utf-16", std::string_view("\xFE\xFF\0O\0k", 6), "Ok"},
      {"UTF-16", std::string_view("\xFF\xFEO\0k\0!", 7), "Ok"},  // a cut-off unit is dropped
      {"shift_jis", "a\x81\x7F", "a\xEF\xBF\xBD\x7F"},           // not in the charset
      // A converter used again starts afresh: the shift into JIS X 0208 does not carry over.
      {"iso-2022-jp", "\x1B$B", ""},
      {"iso-2022-jp", "AB", "AB"},
      {"", "text", std::nullopt},
      {"no-such-charset", "text", std::nullopt},
      {"../../etc/x", "text", std::nullopt},
      {std::string_view("koi8-r\0x", 8), "text", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label));
    const std::optional<std::string> got = CharsetToUtf8(c.label, c.bytes);
    ASSERT_EQ(got.has_value(), c.utf8.has_value());
    if (got) {
      EXPECT_EQ(*got, *c.utf8);
    }
  }
}

TEST(TextTest, FindsTextIgnoringAsciiCase) {
  struct Case {
    std::string_view text, lower;
    size_t from, at;
  };
  constexpr size_t kNone = std::string_view::npos;
  const Case cases[] = {
      {"<HTML><Body>", "<body", 0, 6},
      {"xTITLE title", "title", 0, 1},
      {"xTITLE title", "title", 2, 7},
      {"tit TItLE", "title", 0, 4},          // a first letter in either case, the rest checked
      {"<bod", "<body", 0, kNone},           // cut off by the end
      {"caf\xC9 CAF\xE9", "caf\xe9", 0, 5},  // only ASCII letters fold
      {"abc", "", 1, 1},
      {"abc", "", 4, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + std::string(c.lower));
    EXPECT_EQ(FindIgnoringCase(c.text, c.lower, c.from), c.at);
  }
}

}  // namespace
}  // namespace corvina
