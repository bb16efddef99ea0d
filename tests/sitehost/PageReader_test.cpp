#include "sitehost/PageReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/TextEncoding.h"
#include "tests/fakes/TestSupport.h"

namespace corvina::sitehost {
namespace {

TEST(PageReaderTest, ReadsTitleAndKeywords) {
  struct Case {
    const char* name;
    std::string page;
    std::optional<std::string> title;
    std::optional<std::string> keywords;
  };
  const Case cases[] = {
      {"plain", "<title>A</title><meta name=keywords content='x;y'>", "A", "x;y"},
      {"collapsed", "<title>\n  A \t B\r\n</title>", "A B", std::nullopt},
      {"control characters", "<title>A\x01\x7F&#10;B</title><meta name=keywords content='a&#13;b'>",
       "A B", "a b"},
      {"entities", "<title>Q &amp; A &lt;1&gt; &eacute;</title>", "Q & A <1> \u00e9", std::nullopt},
      {"empty title", "<title> </title><title>Second</title>", "Second", std::nullopt},
      {"no title", "<p>text</p>", std::nullopt, std::nullopt},
      {"title in body", "<body><p><title>Late</title>", "Late", std::nullopt},
      {"several metas",
       "<meta name=Keywords content='a, b'><meta name=KEYWORDS content=''>"
       "<meta name=keywords content=c>",
       std::nullopt, "a, b,c"},
      {"meta without content", "<meta name=keywords>", std::nullopt, ""},
      {"line ends in keywords", "<meta name=keywords content='a,\n\tb'>", std::nullopt, "a,  b"},
      {"other metas", "<meta name=description content=d><meta http-equiv=keywords content=k>",
       std::nullopt, std::nullopt},
      {"unclosed", "<html><head><title>Open", "Open", std::nullopt},
      {"comment", "<!-- <title>No</title> --><title>Yes</title>", "Yes", std::nullopt},
      {"script", "<script>var t='<title>No</title>';</script><title>Yes</title>", "Yes",
       std::nullopt},
      // A read of the head alone must see what follows it when that could matter.
      {"meta after body", "<head><title>T</title></head><body><meta name=keywords content=k>", "T",
       "k"},
      {"title after head", "<head></head><BODY><p>x<TITLE>Late</TITLE>", "Late", std::nullopt},
      {"body in a comment", "<head><!-- <body> --><title>T</title></head><body>x", "T",
       std::nullopt},
      {"head only", "<HEAD><TITLE>T</TITLE><META NAME=keywords CONTENT=a></HEAD><BODY>x", "T", "a"},
      {"tag-like words", "<title>T</title><body><p>a <metal> and <titled>", "T", std::nullopt},
      {"head end in a value", "<head><meta name=keywords content='a </head> b'></head><body>x",
       std::nullopt, "a </head> b"},
      {"prefixed names", "<head><x:title>T</x:title><y:meta name=keywords content=k></head>", "T",
       "k"},
      {"open prefixed title", "<x:title><body>\"", "\"", std::nullopt},
      {"prefixed title after head", "<head></head><body><svg:title>S</svg:title>", "S",
       std::nullopt},
      {"prefixed meta after head", "<head></head><body><x:META name=keywords content=m>",
       std::nullopt, "m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const PageParts parts : {PageParts::kAll, PageParts::kHead}) {
      const PageFacts facts = ParsePage(c.page, parts);
      EXPECT_EQ(facts.title, c.title);
      EXPECT_EQ(facts.keywords, c.keywords);
    }
  }
}

TEST(PageReaderTest, LinksOnlyWhenAsked) {
  const std::string page = "<title>T</title><body><a href=a.htm>a</a><area href='b.htm'>";
  const PageFacts all = ParsePage(page, PageParts::kAll);
  EXPECT_TRUE(all.links_read);
  EXPECT_EQ(all.links, (std::vector<std::string>{"a.htm", "b.htm"}));
  const PageFacts head = ParsePage(page, PageParts::kHead);
  EXPECT_FALSE(head.links_read);
  EXPECT_TRUE(head.links.empty());
}

TEST(PageReaderTest, DecodesEveryEncodingToUtf8) {
  static const char kBigEndian[] = "\xFE\xFF\0<\0t\0i\0t\0l\0e\0>\0\xE9\0<\0/\0t\0i\0t\0l\0e\0>";
  const std::pair<std::string, std::string> cases[] = {
      {"<title>caf\xC3\xA9</title>", "caf\u00e9"},
      {"<title>caf\xE9 \x80</title>", "caf\u00e9 \u20ac"},
      {"<title>\xC3\xA9 and \xE9</title>", "\u00e9 and \u00e9"},
      {"<meta charset=\"utf-8\"><title>\xE9t\xE9</title>", "\u00e9t\u00e9"},
      {"<meta http-equiv=Content-Type content='text/html; charset=ISO-8859-1'>"
       "<title>\xC3\xA9</title>",
       "\u00c3\u00a9"},
      {"<meta charset=windows-1252><title>\x93q\x94</title>", "\u201cq\u201d"},
      {"<meta charset=koi8-r><title>\xF0\xD2\xC9\xD7\xC5\xD4</title>",
       "\u041f\u0440\u0438\u0432\u0435\u0442"},
      {"<meta charset=no-such-charset><title>caf\xE9</title>", "caf\u00e9"},
      {"<?xml version='1.0' encoding='iso-8859-1'?><title>\xE9</title>", "\u00e9"},
      {"\xEF\xBB\xBF<title>\xC3\x9C</title>", "\u00dc"},
      {std::string(kBigEndian, sizeof kBigEndian - 1), "\u00e9"},
      {"<meta charset=utf-16><title>\xC3\xA9</title>", "\u00e9"},
  };
  for (const auto& [page, title] : cases) {
    SCOPED_TRACE(page);
    const PageFacts facts = ParsePage(page);
    ASSERT_TRUE(facts.title.has_value());
    EXPECT_EQ(*facts.title, title);
    EXPECT_TRUE(IsValidUtf8(*facts.title));
  }
}

TEST(PageReaderTest, SurvivesHostileBytes) {
  std::string nul_page("<title>a\0b</title>", 18);
  // The parser stops at its depth limit; what came before is kept.
  std::string deep = "<title>Deep</title>";
  for (int i = 0; i < 100000; ++i)
    deep += "<div>";
  deep += "<a href=x.htm>";
  std::string noise;
  for (int i = 0; i < 70000; ++i)
    noise += static_cast<char>((i * 7919) % 256);
  for (const std::string& page : {nul_page, deep, noise, std::string(), std::string("\xFF\xFE")}) {
    const PageFacts facts = ParsePage(page);
    EXPECT_TRUE(IsValidUtf8(facts.title.value_or("")));
  }
  EXPECT_EQ(ParsePage(deep).title, "Deep");
}

// The fuzz target's corpus, inputs it found among them, run as a plain test.
TEST(PageReaderTest, FuzzCorpusReadsAlikeFromTheHead) {
  const std::filesystem::path corpus =
      std::filesystem::path(CORVINA_TEST_DATA).parent_path().parent_path() /
      "fuzz/corpus/page_reader";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::string page = testing::ReadFileBytes(entry.path());
    const PageFacts all = ParsePage(page, PageParts::kAll);
    const PageFacts head = ParsePage(page, PageParts::kHead);
    EXPECT_EQ(all.title, head.title);
    EXPECT_EQ(all.keywords, head.keywords);
    ++inputs;
  }
  EXPECT_GE(inputs, 4);
}

}  // namespace
}  // namespace corvina::sitehost
