#include "sitehost/SitemapOutline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sitehost/NavigationOutline.h"
#include "tests/fakes/TestSupport.h"

namespace corvina::sitehost {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

std::string Entry(std::string_view name, std::string_view local = {}) {
  std::string s = "<LI><OBJECT TYPE=\"text/sitemap\">\r\n<PARAM NAME=\"Name\" VALUE=\"";
  s += name;
  s += "\">";
  if (!local.empty()) {
    s += "<PARAM NAME=\"Local\" VALUE=\"";
    s += local;
    s += "\">";
  }
  return s + "\r\n</OBJECT>\r\n";
}

class SitemapOutlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"index.htm", "caf\xC3\xA9.htm", "guide/getting started.htm",
                             "guide/Setup.HTM", "a&b.htm"}) {
      WriteFileBytes(dir_ / name, "<html></html>");
    }
  }
  TempDir dir_;
};

// The contents file as our own writer makes it: Windows-1252 labels, entities, headings
// without a page, and the nesting of lists after their entries.
TEST_F(SitemapOutlineTest, OwnContentsFileBecomesTheOutlineItCameFrom) {
  const std::string sitemap =
      "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n<UL>\r\n" +
      Entry("Home &amp; more", "index.htm") + "<UL>\r\n" + Entry("Guide") + "<UL>\r\n" +
      Entry("Getting &quot;started&quot;", "guide/getting started.htm") + "</UL>\r\n" +
      Entry("Caf\xE9 cr\xE8me", "caf\xE9.htm") + "</UL>\r\n" +
      Entry("A &lt;&amp;&gt; B", "a&amp;b.htm") + "</UL>\r\n</BODY></HTML>\r\n";
  const SitemapOutline outline = OutlineFromSitemap(sitemap, dir_.path());
  EXPECT_EQ(outline.text,
            "Home & more | index.htm\n"
            "    Guide |\n"
            "        Getting \"started\" | guide/getting started.htm\n"
            "    Caf\xC3\xA9 cr\xC3\xA8me | caf\xC3\xA9.htm\n"
            "A <&> B | a&b.htm\n");
  EXPECT_EQ(outline.entries, 5u);
  EXPECT_EQ(outline.problems, std::vector<std::string>{});
}

// Every reference form names the file as it is on disk, or says what was lost.
TEST_F(SitemapOutlineTest, ReferencesFindTheirFileOrSayWhatWasLost) {
  struct Case {
    std::string local;
    std::string line;
    std::string problem;
  };
  const Case cases[] = {
      {"caf\xC3\xA9.htm", "x | caf\xC3\xA9.htm", ""},
      {"caf\xE9.htm", "x | caf\xC3\xA9.htm", ""},
      {"guide/getting%20started.htm", "x | guide/getting started.htm", ""},
      {"guide\\setup.htm", "x | guide/Setup.HTM", ""},
      {"/GUIDE/./setup.htm", "x | guide/Setup.HTM", ""},
      {"ms-its:help.chm::/index.htm", "x | index.htm", ""},
      {"index.htm#part", "x | index.htm", "the entry \"x\": its anchor \"#part\" was dropped"},
      {"http://example.com/a.htm", "x |",
       "the entry \"x\": it points outside the site: \"http://example.com/a.htm\""},
      {"Z:/shared/a.htm", "x |",
       "the entry \"x\": it points outside the site: \"Z:/shared/a.htm\""},
      {"../index.htm", "x |", "the entry \"x\": there is no file \"../index.htm\" in the folder"},
      {"gone.htm", "x |", "the entry \"x\": there is no file \"gone.htm\" in the folder"},
      {"guide", "x |", "the entry \"x\": there is no file \"guide\" in the folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.local);
    const SitemapOutline outline = OutlineFromSitemap("<UL>" + Entry("x", c.local), dir_.path());
    EXPECT_EQ(outline.text, c.line + "\n");
    EXPECT_EQ(outline.problems,
              c.problem.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.problem});
  }
}

// Damaged or hostile markup: unclosed quotes, tags and comments at the end, stray bytes.
TEST_F(SitemapOutlineTest, AnyBytesAreReadWithoutHarm) {
  const std::string pieces[] = {"<UL>",
                                "</UL>",
                                "<OBJECT type=\"text/sitemap\">",
                                "</OBJECT>",
                                "<param name=\"Name\" value=\"",
                                "<param name=Local value=",
                                "&#x110000;",
                                "&#;",
                                "&amp",
                                "\"",
                                "'",
                                "<!--",
                                "<",
                                ">",
                                "\xFF",
                                "index.htm",
                                "/",
                                "="};
  uint32_t seed = 7;
  for (int round = 0; round < 200; ++round) {
    std::string sitemap;
    for (int i = 0; i < 40; ++i) {
      seed = seed * 1103515245u + 12345u;
      sitemap += pieces[(seed >> 16) % std::size(pieces)];
    }
    SCOPED_TRACE(sitemap);
    const SitemapOutline outline = OutlineFromSitemap(sitemap, dir_.path());
    EXPECT_EQ(ParseOutline(outline.text).size(), outline.entries);
  }
}

}  // namespace
}  // namespace corvina::sitehost
