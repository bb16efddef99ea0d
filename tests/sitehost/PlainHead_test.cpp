#include "sitehost/PlainHead.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sitehost/PageParse.h"

namespace corvina::sitehost {
namespace {

// What the HTML parser's tree holds, read as a head and as a whole page.
void ExpectSameAsParser(const std::string& text) {
  const PageFacts parsed = ParsePageTree(DecodePageBytes(text), PageParts::kAll);
  if (const std::optional<PageFacts> plain = ReadPlainHead(text)) {
    EXPECT_EQ(plain->title, parsed.title) << text;
    EXPECT_EQ(plain->keywords, parsed.keywords) << text;
  }
  if (const std::optional<PageFacts> plain = ReadPlainPage(text)) {
    EXPECT_EQ(plain->title, parsed.title) << text;
    EXPECT_EQ(plain->keywords, parsed.keywords) << text;
    EXPECT_EQ(plain->links, parsed.links) << text;
    EXPECT_TRUE(plain->links_read);
  }
}

TEST(PlainHeadTest, ReadsPlainHeadsAsTheParserDoes) {
  struct Case {
    const char* name;
    std::string text;
    bool plain;  // read without the parser
  };
  const Case cases[] = {
      {"generated", "<html><head><title>Page 5</title><meta name=\"keywords\" content=\"t 5\">",
       true},
      {"prolog and doctype",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 "
       "Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n<html "
       "xmlns=\"http://www.w3.org/1999/xhtml\"><head><meta http-equiv=\"Content-Type\" "
       "content=\"text/html; charset=UTF-8\" /><title>Chapter\r\n 1. Intro</title>",
       true},
      {"upper case", "<HEAD><TITLE>T</TITLE ><META NAME=Keywords CONTENT='a, b'/></HEAD>", true},
      {"scripts and comments",
       "<script src=x.js></script><script>if (a > b) a = b;</SCRIPT><style>p{}</style>"
       "<!-- <title>No</title> --><title> Yes </title>",
       true},
      {"markup in a script", "<script>document.write('<title>T</title>')</script>", false},
      {"several metas", "<meta name=keywords content=a><meta name=keywords><meta name=x>", true},
      {"empty titles", "<title> </title><title>\tSecond</title><title>Third</title>", true},
      {"utf-8", "<title>caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80</title>", true},
      {"references", "<title>Q &amp; A &#8212; &#x2014;&#X41;&lt;&gt;&quot;&nbsp;</title>", true},
      {"other entity", "<title>&copy;</title>", false},
      {"reference without semicolon", "<title>&#65 A</title>", false},
      {"reference to a control", "<title>&#1;</title>", false},
      {"upper-case entity", "<title>&AMP;</title>", false},
      {"stray less-than", "<title>T</title><p>a < b", false},
      {"control character", "<title>A\x01</title>", false},
      {"line end in keywords", "<meta name=keywords content=\"a\r\nb\">", false},
      {"valueless name", "<meta name content=x>", false},
      {"repeated attribute", "<meta name=keywords name=x content=y>", false},
      {"unclosed title", "<title>Open", false},
      {"tag in title", "<title>A <b>B</b></title>", false},
      {"other end tag in title", "<title>A</titles></title>", false},
      {"odd comment", "<!--> <title>T</title> -->", false},
      {"quoted greater-than", "<!DOCTYPE x \"a>b\"><title>T</title>", false},
      {"textarea", "<textarea><title>T</title></textarea>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadPlainHead(c.text).has_value(), c.plain);
    ExpectSameAsParser(c.text);
  }
}

std::string Repeat(std::string_view text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i)
    repeated += text;
  return repeated;
}

TEST(PlainHeadTest, ReadsPlainPagesAsTheParserDoes) {
  struct Case {
    const char* name;
    std::string text;
    bool plain;  // read without the parser
  };
  const Case cases[] = {
      {"links", "<title>T &#8212; U</title><body><a href=a.htm>A</a> <area href='m.htm'/>", true},
      {"upper case and no value", "<A HREF=\"b.htm\">B</A><a href>C</a><a name=x>", true},
      {"references in a link", "<a href='a.htm?x=1&amp;y=&#37;'>", true},
      {"other entity in a link", "<a href='a.htm?x=1&copy=2'>", false},
      {"line end in a link", "<a href='a\r\nb.htm'>", false},
      {"prefixed link", "<x:a href=b.htm>", false},
      {"long name", "<a " + std::string(120, 'x') + "href=h>", false},
      {"closed deep nesting", Repeat("<div>x</div>", 300) + "<a href=end>", true},
      {"empty elements", Repeat("<br><img src=i><hr/>", 300) + "<a href=end>", true},
      {"deep nesting", Repeat("<div>", 300) + "<a href=deep>", false},
      {"unclosed paragraphs", Repeat("<p>x", 300) + "<a href=end>", false},
      {"end tags out of order", Repeat("<b><i></b></i>", 300) + "<a href=end>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadPlainPage(c.text).has_value(), c.plain);
    ExpectSameAsParser(c.text);
  }
}

// Random mixes of plain and awkward pieces: whatever the plain reading accepts, it reads as the
// parser does.
TEST(PlainHeadTest, AgreesWithTheParserOnMixedPieces) {
  const std::vector<std::string> pieces = {"<html>",
                                           "<head>",
                                           "</head>",
                                           "<body>",
                                           "<title>",
                                           "</title>",
                                           "</TITLE >",
                                           "T i\tt",
                                           "<meta name=keywords content=\"k1\">",
                                           "<META name='KEYWORDS' content=' k2 '>",
                                           "<meta name=keywords content=k3/>",
                                           "<meta name=keywords>",
                                           "<meta content=x name=keywords>",
                                           "<meta name=\"description\" content=\"d\">",
                                           "<script>",
                                           "</script>",
                                           "<style>",
                                           "</style>",
                                           "<!-- c -->",
                                           "<!---->",
                                           "<!DOCTYPE html>",
                                           "<?xml version=\"1.0\"?>",
                                           "<p>",
                                           "</p>",
                                           "<br/>",
                                           "<svg><title>S</title></svg>",
                                           "<noscript>",
                                           "text",
                                           " \n ",
                                           "\r\n",
                                           "<",
                                           ">",
                                           "&amp;",
                                           "'",
                                           "\"",
                                           "=",
                                           "/",
                                           "<a href=x>",
                                           "</a>",
                                           "<link rel=stylesheet href=s.css>",
                                           "<title/>",
                                           "<![CDATA[x]]>",
                                           "\xC3\xA9",
                                           "<ti",
                                           "tle>",
                                           "-->",
                                           "<!--",
                                           "<meta name=keywords content=\"a<b>c\">",
                                           "<link title='x>y'>",
                                           "\t",
                                           "<meta name=keywords content=\"a\tb\nc\">",
                                           "<meta name=keywords content=x/ >",
                                           "<META NAME=KEYWORDS CONTENT=Z>",
                                           "<title>x</title>",
                                           "<html lang=en>",
                                           "<p class=a id=b>",
                                           "<a href='a&amp;b'>",
                                           "<A HREF=U>",
                                           "<area href=\"m\"/>",
                                           "<a href>",
                                           "<a name=n>",
                                           "<div>",
                                           "</div>",
                                           "&#8212;",
                                           "&#1;",
                                           "&lt"};
  std::mt19937 random(14);
  std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> count(1, 10);
  int plain = 0;
  int plain_pages = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    for (int n = count(random); n > 0; --n)
      text += pieces[piece(random)];
    plain += ReadPlainHead(text).has_value();
    plain_pages += ReadPlainPage(text).has_value();
    ExpectSameAsParser(text);
  }
  EXPECT_GT(plain, 400);
  EXPECT_GT(plain_pages, 400);
}

}  // namespace
}  // namespace corvina::sitehost
