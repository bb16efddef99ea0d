#include "sitehost/PageParse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvina::sitehost {
namespace {

std::string Repeat(std::string_view text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i)
    repeated += text;
  return repeated;
}

// Pages the parser repairs, each read through the tree and through the events: both readings
// give the same facts, and these are the facts expected.
TEST(PageParseTest, EventsGiveWhatTheTreeHolds) {
  using Links = std::vector<std::string>;
  struct Case {
    const char* name;
    std::string page;
    std::optional<std::string> title;
    std::optional<std::string> keywords;
    Links links;
  };
  const Case cases[] = {
      {"plain",
       "<title>T</title><meta name=keywords content=k><a href=a.htm>x</a>",
       "T",
       "k",
       {"a.htm"}},
      {"unclosed title", "<title>Open<a href=x>", "Open", std::nullopt, {"x"}},
      {"nested title", "<title> <title>In</title> out</title>", "In out", std::nullopt, {}},
      {"link in title", "<title>A <a href=t>B</a> C</title>", "A B C", std::nullopt, {"t"}},
      {"empty titles first",
       "<title> </title><title>\t</title><p><title>Third</title>",
       "Third",
       std::nullopt,
       {}},
      {"entities in href",
       "<a href='a&amp;b&lt;&#x41;&bogus;.htm'><area href=\"&quot;\">",
       std::nullopt,
       std::nullopt,
       {"a&b<A&bogus;.htm", "\""}},
      {"script holds a link",
       "<script>x='<a href=no>';</script><a href=yes>",
       std::nullopt,
       std::nullopt,
       {"yes"}},
      {"style holds a title",
       "<style>/* <title>No</title> */</style><title>Yes</title>",
       "Yes",
       std::nullopt,
       {}},
      {"script in title",
       "<title>A<script>B</script><style>C</style></title>",
       "ABC",
       std::nullopt,
       {}},
      {"comments",
       "<!-- <a href=no> --><title>A<!-- B -->C</title><a href=yes>",
       "AC",
       std::nullopt,
       {"yes"}},
      {"cdata", "<title><![CDATA[x]]>y</title><a href=z>", "<![CDATA[x]]>y", std::nullopt, {"z"}},
      {"upper case",
       "<TITLE>T</TITLE><META NAME=Keywords CONTENT=K><A HREF=U><AREA HREF=V>",
       "T",
       "K",
       {"U", "V"}},
      {"valueless attributes",
       "<a href><meta name=keywords content><a name href=h>",
       std::nullopt,
       "",
       {"", "h"}},
      {"repeated attributes",
       "<a href=1 href=2><meta name=keywords name=x content=k>",
       std::nullopt,
       "k",
       {"1"}},
      {"attribute case", "<a HREF=up Href=mixed>", std::nullopt, std::nullopt, {"up"}},
      {"prefixed names",
       "<svg:a href=s><x:title>P</x:title><x:meta name=keywords content=m>",
       "P",
       "m",
       {"s"}},
      {"names the tree keeps whole",
       "<:title>N</:title><title:>M</title:><a: href=no>",
       std::nullopt,
       std::nullopt,
       {}},
      {"NUL bytes",
       std::string("<title>A\0B</title><a href='c\0d'>", 32),
       "A B",
       std::nullopt,
       {"c"}},
      {"control characters",
       "<title>\x01T\x7F</title><meta name=keywords content='a\tb'>",
       "T",
       "a b",
       {}},
      {"after the end",
       "<html><body></body></html><a href=late><title>Late</title>",
       "Late",
       std::nullopt,
       {"late"}},
      {"frameset",
       "<frameset><frame src=f><noframes><a href=n></noframes></frameset>",
       std::nullopt,
       std::nullopt,
       {"n"}},
      {"text before html",
       "x<html><head><title>H</title></head><a href=b>",
       "H",
       std::nullopt,
       {"b"}},
      {"a in a", "<a href=1><a href=2></a></a>", std::nullopt, std::nullopt, {"1", "2"}},
      {"textarea", "<textarea><a href=t></textarea>", std::nullopt, std::nullopt, {"t"}},
      // The tree builder stops at the 258th open element and leaves it out.
      {"deep nesting",
       Repeat("<div>", 257) + "<a href=in>" + "<a href=out><title>Deep</title>",
       std::nullopt,
       std::nullopt,
       {}},
      {"deep title",
       "<a href=first>" + Repeat("<b>", 250) + "<title>In" + Repeat("<i>", 10) + "<a href=no>",
       "In",
       std::nullopt,
       {"first"}},
      {"closed in time",
       Repeat("<div>", 250) + Repeat("</div>", 250) + "<a href=end>",
       std::nullopt,
       std::nullopt,
       {"end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PageText text{c.page, "UTF-8"};
    const PageFacts tree = ParsePageTree(text, PageParts::kAll);
    const PageFacts events = ParsePageEvents(text, PageParts::kAll);
    EXPECT_EQ(events.title, tree.title);
    EXPECT_EQ(events.keywords, tree.keywords);
    EXPECT_EQ(events.links, tree.links);
    EXPECT_EQ(events.title, c.title);
    EXPECT_EQ(events.keywords, c.keywords);
    EXPECT_EQ(events.links, c.links);
    const PageFacts head = ParsePageEvents(text, PageParts::kHead);
    EXPECT_EQ(head.title, c.title);
    EXPECT_EQ(head.keywords, c.keywords);
    EXPECT_TRUE(head.links.empty());
    EXPECT_FALSE(head.links_read);
  }
}

// The same holds for a page the parser converts from another encoding.
TEST(PageParseTest, EventsGiveWhatTheTreeHoldsInOtherEncodings) {
  const PageText texts[] = {
      {"<title>\xC1\xC2</title><a href='\xC3.htm'>", "KOI8-R"},
      {std::string("<\0t\0i\0t\0l\0e\0>\0T\0<\0a\0 \0h\0r\0e\0f\0=\0u\0>\0", 36), "UTF-16LE"},
  };
  for (const PageText& text : texts) {
    SCOPED_TRACE(text.encoding);
    const PageFacts tree = ParsePageTree(text, PageParts::kAll);
    const PageFacts events = ParsePageEvents(text, PageParts::kAll);
    ASSERT_TRUE(tree.title.has_value());
    EXPECT_EQ(events.title, tree.title);
    ASSERT_EQ(tree.links.size(), 1u);
    EXPECT_EQ(events.links, tree.links);
  }
}

}  // namespace
}  // namespace corvina::sitehost
