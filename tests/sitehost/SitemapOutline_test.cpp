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
      {"http://example.com/a.htm", "x |", "the entry \"x\": it points outside the site"},
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

// Sitemaps from other writers: lower case, single or no quotes, comments, properties objects,
// a list opened without an entry before it, lists never closed, labels over several lines.
TEST_F(SitemapOutlineTest, IrregularMarkupKeepsTheTree) {
  const std::string sitemap =
      "<object type=\"text/site properties\"><param name=\"ImageType\" value=\"Folder\">"
      "</object>\n<ul>\n<!-- <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"no\">"
      "</object> -->\n"
      "<li> <object type='text/sitemap'><param name=Name value=Top><param name='Local' "
      "value='index.htm'></object>\n<ul><ul>\n"
      "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Two\nlines\tand | bar\">"
      "<param name=\"Name\" value=\"second name\"></object>\n</ul></ul>\n"
      "<li><object type=\"text/sitemap\"><param name=\"Local\" value=\"a&amp;b.htm\">"
      "</object>\n<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Last\">"
      "</object>";
  const SitemapOutline outline = OutlineFromSitemap(sitemap, dir_.path());
  EXPECT_EQ(outline.text,
            "Top | index.htm\n"
            "    Two lines and | bar |\n"
            "| a&b.htm\n"
            "    Last |\n");

  // The outline reads back as the same tree.
  const std::vector<OutlineEntry> back = ParseOutline(outline.text);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[1].label, "Two lines and | bar");
  EXPECT_EQ(back[1].page, "");
  EXPECT_EQ(back[1].parent, 0);
  EXPECT_EQ(back[2].label, "");
  EXPECT_EQ(back[2].page, "a&b.htm");
  EXPECT_EQ(back[2].parent, -1);
  EXPECT_EQ(back[3].parent, 2);
}

TEST_F(SitemapOutlineTest, NoEntriesGivesAnEmptyOutline) {
  for (const std::string sitemap : {"", "plain text", "<UL></UL>", "<", "<object type=\"x\">"}) {
    SCOPED_TRACE(sitemap);
    const SitemapOutline outline = OutlineFromSitemap(sitemap, dir_.path());
    EXPECT_EQ(outline.entries, 0u);
    EXPECT_EQ(outline.text, "");
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
