#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/HtmlScanner.h"
#include "workshop/chm/LinkedFiles.h"
#include "workshop/chm/PageLinks.h"

namespace corvina::chm {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

// Writes what the scanner yields as one line per event: "<name a=v>", "</name>", "T:text",
// "R:element:text".
class Recorder : public HtmlVisitor {
 public:
  std::vector<std::string> events;
  void Tag(const HtmlTag& tag) override {
    std::string line = tag.end ? "</" : "<";
    line += tag.name;
    for (const HtmlAttribute& a : tag.attributes)
      line += " " + std::string(a.name) + "=" + std::string(a.value);
    if (tag.self_closing) line += " /";
    events.push_back(line + ">");
  }
  void Text(std::string_view text) override { events.push_back("T:" + std::string(text)); }
  void RawText(std::string_view element, std::string_view text) override {
    events.push_back("R:" + std::string(element) + ":" + std::string(text));
  }
};

std::vector<std::string> Scan(std::string_view page) {
  Recorder recorder;
  ScanHtml(page, recorder);
  return recorder.events;
}

TEST(HtmlScannerTest, YieldsTagsAttributesAndTextAsBrowsersReadThem) {
  using Events = std::vector<std::string>;
  const std::pair<std::string_view, Events> cases[] = {
      {"<P CLASS=x>Hi &amp; bye</p>", {"<p class=x>", "T:Hi &amp; bye", "</p>"}},
      {"<img src=\"a b.png\" alt='it\"s' ismap>", {"<img src=a b.png alt=it\"s ismap=>"}},
      {"<a\nhref = 'x.htm'\t>", {"<a href=x.htm>"}},
      {"<br/><hr />", {"<br />", "<hr />"}},
      {"a < b <3 <", {"T:a < b <3 <"}},
      {"x<!-- <img src=no.png> -->y", {"T:x", "T:y"}},
      {"<!--> a <!---> b", {"T: a ", "T: b"}},
      {"<!DOCTYPE html><?xml version=\"1.0\"?>t", {"T:t"}},
      {"<![CDATA[a<b]]>c", {"T:a<b", "T:c"}},
      {"</ x>t</>", {"T:t"}},
      {"<script>if (a<b) document.write('<img src=x>')</SCRIPT >z",
       {"<script>", "R:script:if (a<b) document.write('<img src=x>')", "</script>", "T:z"}},
      {"<style>p{}</style><title>A <b> T</title>",
       {"<style>", "R:style:p{}", "</style>", "<title>", "R:title:A <b> T", "</title>"}},
      {"<script src=a.js />t", {"<script src=a.js />", "T:t"}},
      {"<script>never closed", {"<script>", "R:script:never closed"}},
      {"text<img src='cut", {"T:text"}},
      {"<!-- never closed <img src=a.png>", {}},
      {"<a href=x.htm name=\"a>b\">", {"<a href=x.htm name=a>b>"}},
      {"<p =x>", {"<p =x=>"}},
  };
  for (const auto& [page, expected] : cases) {
    SCOPED_TRACE(page);
    EXPECT_EQ(Scan(page), expected);
  }
}

TEST(HtmlScannerTest, DecodesTheReferencesALinkMayHold) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a.htm?x=1&amp;y=2", "a.htm?x=1&y=2"},
      {"caf&#233;.htm", "caf\xC3\xA9.htm"},
      {"&#x41;&#X42;&#67", "ABC"},
      {"&lt;&gt;&quot;&apos;&nbsp;", "<>\"'\xC2\xA0"},
      {"&copy; &amp &; &#; &#xZ", "&copy; &amp &; &#; &#xZ"},
      {"&#0;&#x110000;", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(DecodeHtmlReferences(text), expected);
  }
}

TEST(CssScannerTest, FindsUrlsAndImportsOutsideCommentsAndStrings) {
  using Urls = std::vector<std::string>;
  const std::pair<std::string_view, Urls> cases[] = {
      {"body{background:url(img/a.png)}", {"url:img/a.png"}},
      {"p{background:URL( \"b c.png\" )} q{x:url('d.png')}", {"url:b c.png", "url:d.png"}},
      {"@import \"base.css\";@import url(more.css) screen;@IMPORT 'x.css'",
       {"import:base.css", "import:more.css", "import:x.css"}},
      {"/* url(no.png) @import 'no.css'; */ a{b:url(yes.png)}", {"url:yes.png"}},
      {"a{content:\"url(no.png)\"} b{c:myurl(no.png)}", {}},
      {"a{b:url(e\\(1\\).png)} c{d:url(\"\\66 .png\")}", {"url:e(1).png", "url:f.png"}},
      {"a{b:url(never-closed.png", {"url:never-closed.png"}},
      {"@import", {}},
  };
  for (const auto& [css, expected] : cases) {
    SCOPED_TRACE(css);
    Urls found;
    ScanCssUrls(css, [&](std::string_view url, bool imported) {
      found.push_back((imported ? "import:" : "url:") + std::string(url));
    });
    EXPECT_EQ(found, expected);
  }
}

TEST(PageLinksTest, CollectsEveryKindOfReferenceAndAnchor) {
  const std::string page =
      "<html><head><link rel=\"Stylesheet\" href=\"s.css?2022.1\"><link rel=icon href=i.ico>"
      "<link rev=\"made\" href=\"docs@lists.example.org\"><link rel=next href=n.htm>"
      "<style>@import 'imp.css'; h1{background:url(bg.png)}</style>"
      "<script src=\"js/a.js\"></script></head>"
      "<body background=\"body.gif\"><a name=\"top2\" href=\"#sec\">x</a>"
      "<div id=\"sec\" style=\"background-image:url(&quot;st.png&quot;)\">"
      "<img src=\"i.png\" srcset=\"i2.png 2x, i3.png 3x\"><iframe src=f.htm></iframe>"
      "<object data=\"o.swf\"></object><embed src=e.swf><map><area href=ar.htm></map>"
      "<a href=\"d.zip\">d</a><a href=\"x.htm?a=1&amp;b=2#k\">k</a><p name=notananchor>"
      "<table><td background=td.gif></table><!-- <img src=comment.png> -->"
      "<script>document.write('<img src=\"script.png\">')</script></div></body></html>";
  const PageLinks links = ScanPageLinks(page);
  std::vector<std::string> targets;
  for (const PageLink& link : links.links)
    targets.push_back((link.style_sheet ? "css:" : "") + link.target);
  EXPECT_EQ(targets, (std::vector<std::string>{
                         "css:s.css?2022.1", "i.ico", "n.htm", "css:imp.css", "bg.png", "js/a.js",
                         "body.gif", "#sec", "st.png", "i.png", "i2.png", "i3.png", "f.htm",
                         "o.swf", "e.swf", "ar.htm", "d.zip", "x.htm?a=1&b=2#k", "td.gif"}));
  EXPECT_EQ(links.anchors, (std::vector<std::string>{"top2", "sec"}));

  const PageLinks sheet = ScanStyleSheetLinks("@import url(b.css); p{background:url(p.png)}");
  ASSERT_EQ(sheet.links.size(), 2u);
  EXPECT_TRUE(sheet.links[0].style_sheet);
  EXPECT_FALSE(sheet.links[1].style_sheet);
}

TEST(PageLinksTest, ReadsTheLocalsOfASitemap) {
  const std::vector<SitemapLink> links = ScanSitemapLinks(
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A &amp; B\">"
      "<param name=\"Name\" value=\"second name\"><param name=\"Local\" value=\"a.htm#x\">"
      "</OBJECT><LI><OBJECT type=\"text/sitemap\"><param name=\"Local\" value=\"b.htm\">"
      "</OBJECT></UL>");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].name, "A & B");
  EXPECT_EQ(links[0].local, "a.htm#x");
  EXPECT_EQ(links[1].name, "");
  EXPECT_EQ(links[1].local, "b.htm");
}

TEST(ResolveLinkTest, ResolvesFromTheReferrerAndLeavesOtherSchemesAlone) {
  using Kind = ResolvedLink::Kind;
  struct Case {
    std::string_view referrer, link;
    Kind kind;
    std::string_view path, fragment;
  };
  const Case cases[] = {
      {"a/b.htm", "c.png", Kind::kFile, "a/c.png", ""},
      {"a/b.htm", "../s.css?2022.1", Kind::kFile, "s.css", ""},
      {"a/b.htm", "./x/../y.htm#Part%202", Kind::kFile, "a/y.htm", "Part 2"},
      {"a/b.htm", "#here", Kind::kFile, "a/b.htm", "here"},
      {"a/b.htm", "?q=1#here", Kind::kFile, "a/b.htm", "here"},
      {"a/b.htm", "#", Kind::kNone, "", ""},
      {"a/b.htm", "", Kind::kNone, "", ""},
      {"a/b.htm", "  my%20pic.png ", Kind::kFile, "a/my pic.png", ""},
      {"a/b.htm", "img\\logo.gif", Kind::kFile, "a/img/logo.gif", ""},
      {"a/b.htm", "/top.htm", Kind::kFile, "top.htm", ""},
      {"a/b.htm", "sub/", Kind::kFile, "a/sub", ""},
      {"a/b.htm", "../../up.png", Kind::kOutside, "../up.png", ""},
      {"b.htm", "..", Kind::kOutside, "..", ""},
      {"a/b.htm", "..", Kind::kNone, "", ""},
      {"a/b.htm", "%00.png", Kind::kNone, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.referrer) + " -> " + std::string(c.link));
    const ResolvedLink resolved = ResolveLink(c.referrer, c.link);
    EXPECT_EQ(resolved.kind, c.kind);
    EXPECT_EQ(resolved.path, c.path);
    EXPECT_EQ(resolved.fragment, c.fragment);
  }
  for (std::string_view external :
       {"http://x.org/a.png", "https://x.org/", "mailto:a@b.c", "javascript:void(0)",
        "file:///etc/passwd", "ms-its:other.chm::/a.htm", "mk:@MSITStore:x.chm::/a.htm",
        "ms-help://MS.VSCC/x.htm", "JavaScript:go()", "data:image/png;base64,AAAA", "C:\\x.png",
        "//cdn.example/x.js", "news:comp.lang", "tel:+1-555"}) {
    SCOPED_TRACE(external);
    EXPECT_EQ(ResolveLink("a/b.htm", external).kind, Kind::kNone);
  }
}

// LinkedFiles against a real folder: what it queues, and what it says.
class LinkedFilesTest : public ::testing::Test {
 protected:
  LinkedFiles MakeLinked() {
    return LinkedFiles(dir_.path(), [this](ChmWarning kind, std::string_view text) {
      warnings_.push_back(std::to_string(static_cast<int>(kind)) + " " + std::string(text));
    });
  }
  static std::vector<std::string> Drain(LinkedFiles& linked) {
    std::vector<std::string> names;
    std::string name;
    bool style_sheet = false;
    while (linked.Next(name, style_sheet))
      names.push_back((style_sheet ? "css:" : "") + name);
    return names;
  }
  static PageLinks Links(std::vector<std::string> targets) {
    PageLinks links;
    for (std::string& target : targets) {
      const bool style_sheet = target.find(".css") != std::string::npos;
      links.links.push_back({std::move(target), style_sheet});
    }
    return links;
  }

  TempDir dir_;
  std::vector<std::string> warnings_;
};

TEST_F(LinkedFilesTest, QueuesEachFoundFileOnceInItsCaseOnDisk) {
  for (const char* name : {"index.htm", "Images/Logo.GIF", "s.css", "guide/index.html",
                           "caf\xC3\xA9.htm", "listed.png"}) {
    WriteFileBytes(dir_ / name, "x");
  }
  LinkedFiles linked = MakeLinked();
  linked.AddListed("index.htm");
  linked.AddListed("listed.png");
  linked.Follow("index.htm",
                Links({"images/logo.gif", "IMAGES/LOGO.gif", "s.css?v=1", "guide/", "caf\xE9.htm",
                       "LISTED.PNG", "index.htm#x", "gone.png", "./gone.png", "../out.png",
                       "sub/../../out.png", "http://x/y.png", "gon\xE9.png"}));
  EXPECT_EQ(Drain(linked), (std::vector<std::string>{"Images/Logo.GIF", "css:s.css",
                                                     "guide/index.html", "caf\xC3\xA9.htm"}));
  linked.Follow("guide/index.html", Links({"../gone.png", "../Images/Logo.GIF"}));
  EXPECT_EQ(Drain(linked), std::vector<std::string>{});
  EXPECT_EQ(warnings_,
            (std::vector<std::string>{
                "0 Found file gone.png while scanning index.htm, but couldn't find it on disk",
                "2 The link \"../out.png\" in index.htm leads outside the project folder; the "
                "file is not stored.",
                "0 Found file gon\xC3\xA9.png while scanning index.htm, but couldn't find it on "
                "disk"}));
}

TEST_F(LinkedFilesTest, WarnsOnlyForAnchorsNoReadPageDefines) {
  LinkedFiles linked = MakeLinked();
  for (const char* name : {"a.htm", "b.htm", "data.pdf"}) {
    WriteFileBytes(dir_ / name, "x");
    linked.AddListed(name);
  }
  linked.SetAnchors("a.htm", {"Intro", "sec-1"});
  linked.SetAnchors("b.htm", {});
  linked.Follow("a.htm", Links({"#intro", "#sec-1", "#missing", "#missing", "#top", "b.htm#gone",
                                "data.pdf#page=2"}));
  linked.FollowSitemap("toc.hhc", {{"Part B", "b.htm#gone"}, {"Part A", "a.htm#nowhere"}});
  linked.CheckAnchors();
  EXPECT_EQ(warnings_, (std::vector<std::string>{
                           "1 Anchor a.htm#missing undefined; first use in a.htm",
                           "1 Anchor b.htm#gone undefined; first use in a.htm",
                           "1 Anchor a.htm#nowhere undefined; first use Site Map for Part A",
                       }));
}

}  // namespace
}  // namespace corvina::chm
