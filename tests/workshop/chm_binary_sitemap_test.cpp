#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "tests/helpers/ChmReadBack.h"
#include "tests/workshop/BinarySitemapDecoder.h"
#include "workshop/chm/ChmBinaryIndex.h"
#include "workshop/chm/ChmBinaryToc.h"
#include "workshop/chm/ChmCompiler.h"
#include "workshop/chm/ChmSitemap.h"

namespace corvina::chm {
namespace {

namespace fs = std::filesystem;
using binary_sitemap::Decoder;
using binary_sitemap::Keyword;
using binary_sitemap::TocEntry;
using binary_sitemap::Topic;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

std::string Entry(const std::string& params) {
  return "<LI><OBJECT TYPE=\"text/sitemap\">\r\n" + params + "\r\n</OBJECT>\r\n";
}
std::string Param(const std::string& name, const std::string& value) {
  return "<PARAM NAME=\"" + name + "\" VALUE=\"" + value + "\">";
}
std::string Sitemap(const std::string& body) {
  return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n" +
         body + "</BODY></HTML>\r\n";
}

// A tree in a compact form for comparisons: "label>local" per entry, children in [].
std::string Show(const std::vector<SitemapEntry>& list) {
  std::string out;
  for (const SitemapEntry& entry : list) {
    out += "(" + entry.name;
    for (const SitemapTarget& target : entry.targets)
      out += (target.title.empty() ? "" : " |" + target.title) + " >" + target.local;
    if (!entry.children.empty()) out += " [" + Show(entry.children) + "]";
    out += ")";
  }
  return out;
}
std::string Show(const std::vector<TocEntry>& list) {
  std::string out;
  for (const TocEntry& entry : list) {
    out += "(" + entry.label + (entry.local.empty() ? "" : " >" + entry.local);
    if (!entry.children.empty()) out += " [" + Show(entry.children) + "]";
    out += ")";
  }
  return out;
}
std::string Show(const std::vector<Keyword>& keywords) {
  std::string out;
  for (const Keyword& keyword : keywords) {
    out += "(" + keyword.text + (keyword.level ? " @" + std::to_string(keyword.level) : "");
    std::vector<Topic> topics = keyword.topics;
    std::sort(topics.begin(), topics.end());
    for (const Topic& topic : topics)
      out += " |" + topic.title + " >" + topic.local;
    out += ")";
  }
  return out;
}

TEST(SitemapParserTest, ReadsEntriesAsTheViewerDoes) {
  const std::pair<std::string, std::string> cases[] = {
      // The generated form: nesting by <UL> after the entry, label-only entries.
      {Sitemap("<UL>\r\n" + Entry(Param("Name", "Home") + Param("Local", "index.htm")) +
               "<UL>\r\n" + Entry(Param("Name", "Heading")) + "<UL>\r\n" +
               Entry(Param("Name", "Deep") + Param("Local", "a/b.htm")) + "</UL>\r\n</UL>\r\n" +
               Entry(Param("Name", "Next") + Param("Local", "n.htm")) + "</UL>\r\n"),
       "(Home >index.htm [(Heading [(Deep >a/b.htm)])])(Next >n.htm)"},
      // An index entry: keyword, then title and page pairs.
      {Sitemap("<UL>" +
               Entry(Param("Name", "alpha") + Param("Name", "One") + Param("Local", "1.htm") +
                     Param("Name", "Two") + Param("Local", "2.htm#x")) +
               "</UL>"),
       "(alpha |One >1.htm |Two >2.htm#x)"},
      // Letter case, single quotes, unquoted values, blanks and line breaks inside tags.
      {"<ul><li><object type='TEXT/SITEMAP'><param name=name value=Plain>\n<PARAM\n NAME = "
       "\"LOCAL\"\n VALUE = 'x.htm' ></object></ul>",
       "(Plain >x.htm)"},
      // A label with unescaped double quotes, as the contents writer leaves it.
      {"<UL>" + Entry(Param("Name", "Say \"hi\" now") + Param("Local", "q.htm")) + "</UL>",
       "(Say \"hi\" now >q.htm)"},
      {"<UL>" + Entry(Param("Name", "Ends \"quoted\"") + Param("Local", "q.htm")) + "</UL>",
       "(Ends \"quoted\" >q.htm)"},
      // Entities, Windows-1252 bytes and UTF-8.
      {"<UL>" + Entry(Param("Name", "Fish &amp; Chips &lt;3&gt; &#233;&#x20AC;&#128; & co")) +
           Entry(Param("Name", "Caf\xe9 \x80")) + Entry(Param("Name", "Caf\xc3\xa9")) + "</UL>",
       "(Fish & Chips <3> \xc3\xa9\xe2\x82\xac\xe2\x82\xac & co)(Caf\xc3\xa9 \xe2\x82\xac)"
       "(Caf\xc3\xa9)"},
      // Objects of other types and comments are not entries.
      {"<OBJECT type=\"text/site properties\"><param name=\"Name\" value=\"no\"></OBJECT>"
       "<!-- <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"no\"></OBJECT> -->"
       "<UL>" +
           Entry(Param("Name", "yes")) + "</UL>",
       "(yes)"},
      // Unclosed objects end at the next item; an empty list nests nothing.
      {"<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">"
       "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"b\"><UL></UL>"
       "<UL><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"c\">",
       "(a)(b [(c)])"},
      {"", ""},
      {"<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"cut", "(cut)"},
  };
  for (const auto& [text, tree] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Show(ParseSitemap(text)), tree);
  }
}

// Each entry as "depth:name >local ...", one per line.
std::string ShowEntry(size_t depth, const SitemapEntry& entry) {
  std::string out = std::to_string(depth) + ":" + entry.name;
  for (const SitemapTarget& target : entry.targets)
    out += (target.title.empty() ? "" : " |" + target.title) + " >" + target.local;
  return out + "\n";
}

// The streaming reader, handed the text in pieces of any size, finds the entries that
// ParseSitemap finds in the whole text: tags, comments and values cut anywhere, a value
// whose closing quote is chosen by text far beyond it, a very long entry, lists reopened.
TEST(SitemapParserTest, ReadsTheSameTextInPiecesOfAnySize) {
  const std::string huge(300000, 'h');
  const std::string texts[] = {
      Sitemap("<UL>\r\n" + Entry(Param("Name", "Home") + Param("Local", "index.htm")) + "<UL>\r\n" +
              Entry(Param("Name", "Heading")) + "<UL>\r\n" +
              Entry(Param("Name", "Deep") + Param("Local", "a/b.htm")) + "</UL>\r\n</UL>\r\n" +
              Entry(Param("Name", "Next") + Param("Local", "n.htm")) + "</UL>\r\n"),
      "<UL>" +
          Entry(Param("Name", "alpha") + Param("Name", "One") + Param("Local", "1.htm") +
                Param("Name", "Two") + Param("Local", "2.htm#x")) +
          "</UL>",
      "<ul><li><object type='TEXT/SITEMAP'><param name=name value=Plain>\n<PARAM\n NAME = "
      "\"LOCAL\"\n VALUE = 'x.htm' ></object></ul>",
      "<UL>" + Entry(Param("Name", "Say \"hi\" now") + Param("Local", "q.htm")) + "</UL>",
      "<UL>" + Entry(Param("Name", "x\"y> \"z") + Param("Local", "q.htm")) + "</UL>",
      // The first quote closes the value only because no later one does.
      "<UL>" + Entry("<param name=\"Name\" value=\"a\"b> <param c\"d") + "</UL>",
      "<UL>" + Entry("<param name=\"Name\" value=\"a\"b> <param c\"d=\"e\">") + "</UL>",
      "<!-- <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"no\"></OBJECT> -->"
      "<UL>" +
          Entry(Param("Name", "yes")) + "<!--x--><!---->" + Entry(Param("Name", "also")) + "</UL>",
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">"
      "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"b\"><UL></UL>"
      "<UL><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"c\">",
      // A list closed and opened again after the same entry goes on where it was.
      "<UL>" + Entry(Param("Name", "A")) + "<UL>" + Entry(Param("Name", "B")) + "</UL><UL><UL>" +
          Entry(Param("Name", "C")) + "</UL></UL>" + Entry(Param("Name", "D")) + "</UL>",
      "<UL>" + Entry(Param("Name", huge) + Param("Local", huge + ".htm")) +
          Entry(Param("Name", "after")) + "</UL>",
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"cut",
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x\"><",
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x\"><!-- open",
      "< <> <1 </ <<UL>" + Entry(Param("Name", "stray")),
      "",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 200));
    std::string whole;
    WalkSitemap(ParseSitemap(text),
                [&](size_t depth, SitemapEntry& entry) { whole += ShowEntry(depth, entry); });
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}, size_t{65536}}) {
      SCOPED_TRACE(piece);
      std::string streamed;
      SitemapStreamReader reader(
          [&](size_t depth, SitemapEntry& entry) { streamed += ShowEntry(depth, entry); });
      for (size_t at = 0; at < text.size(); at += piece)
        reader.Add(std::string_view(text).substr(at, piece));
      reader.Finish();
      EXPECT_EQ(streamed, whole);
    }
  }
}

TEST(SitemapParserTest, DeepNestingStopsAtALimit) {
  std::string text;
  for (int i = 0; i < 100000; ++i)
    text += "<UL>" + Entry(Param("Name", "n"));
  const std::vector<SitemapEntry> tree = ParseSitemap(text);
  size_t depth = 0;
  size_t entries = 0;
  for (const std::vector<SitemapEntry>* list = &tree; !list->empty(); ++depth) {
    entries += list->size();
    list = &list->back().children;
  }
  EXPECT_EQ(depth, 256u);
  EXPECT_EQ(entries, 100000u);
}

// Labels in Windows-1252, as the contents writer produces them.
const std::string kToc = Sitemap(
    "<UL>\r\n" + Entry(Param("Name", "Home") + Param("Local", "index.htm")) + "<UL>\r\n" +
    Entry(Param("Name", "Caf\xe9 cr\xe8me \x80") + Param("Local", "guide/a.htm")) +
    Entry(Param("Name", "Heading only")) + "<UL>\r\n" +
    Entry(Param("Name", "Alpha") + Param("Local", "guide/a.htm")) +
    Entry(Param("Name", "Second page") + Param("Local", "guide/b.htm")) + "</UL>\r\n" +
    "</UL>\r\n" + Entry(Param("Name", "Gamma") + Param("Local", "guide/c.htm")) + "</UL>\r\n");
const char kTocTree[] =
    "(Home >index.htm [(Caf\xc3\xa9 cr\xc3\xa8me \xe2\x82\xac >guide/a.htm)(Heading only "
    "[(Alpha >guide/a.htm)(Second page >guide/b.htm)])])(Gamma >guide/c.htm)";

// Index entries as the index writer produces them: keyword, topic title, page.
std::string IndexEntry(const std::string& keyword, const std::string& title,
                       const std::string& page) {
  return Entry(Param("Name", keyword) + Param("Name", title) + Param("Local", page));
}
const std::string kIndex = Sitemap("<UL>\r\n" + IndexEntry("beta", "Second page", "guide/b.htm") +
                                   IndexEntry("first", "Alpha", "guide/a.htm") +
                                   IndexEntry("\xc4pfel", "Home", "index.htm") +
                                   IndexEntry("first", "Second page", "guide/b.htm") +
                                   IndexEntry("Zebra", "Gamma", "guide/c.htm") + "</UL>\r\n");

// A small site compiled through hhc with `engine`, contents and index asked in binary form too.
readback::ChmContents CompileSite(const TempDir& dir, const std::string& engine) {
  for (const auto& [name, title] : {std::pair{"index.htm", "Welcome Page"},
                                    {"guide/a.htm", "Alpha"},
                                    {"guide/b.htm", "Second page"},
                                    {"guide/c.htm", "Gamma"}}) {
    WriteFileBytes(dir / "site" / name, std::string("<html><head><title>") + title +
                                            "</title></head><body>" + title + "</body></html>\r\n");
  }
  WriteFileBytes(dir / "site/toc.hhc", kToc);
  WriteFileBytes(dir / "site/index.hhk", kIndex);
  const std::string chm = engine + ".chm";
  WriteFileBytes(dir / "site/project.hhp",
                 "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + chm +
                     "\r\nContents file=toc.hhc\r\nIndex file=index.hhk\r\n"
                     "Default topic=index.htm\r\nDefault Window=main\r\nTitle=Binary\r\n"
                     "Binary TOC=Yes\r\nBinary Index=Yes\r\nFull-text search=No\r\n\r\n"
                     "[WINDOWS]\r\nmain=\"Binary\",\"toc.hhc\",\"index.hhk\",\"index.htm\","
                     "\"index.htm\",,,,,0x23420,,0x3006,,,,,,,,0\r\n\r\n[FILES]\r\n"
                     "index.htm\r\nguide/a.htm\r\nguide/b.htm\r\nguide/c.htm\r\n");
  const testing::ProgramRun run =
      RunProgram({testing::BuiltProgram("hhc"), "--engine", engine, "project.hhp"}, dir / "site");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  readback::ChmContents contents = readback::ReadWithLibchm(dir / "site" / chm);
  EXPECT_EQ(contents.error, "");
  return contents;
}

// The keywords with the pages each leads to. chmcmd writes one listing entry per index entry
// (a keyword on two pages twice), adds a topic without a page for each entry's second "Name",
// and titles the topics with the keyword, so only keywords and pages are compared.
std::string ShowPages(const std::vector<Keyword>& keywords) {
  std::vector<std::pair<std::string, std::set<std::string>>> merged;
  for (const Keyword& keyword : keywords) {
    const std::string text =
        keyword.text + (keyword.level ? " @" + std::to_string(keyword.level) : "");
    if (merged.empty() || merged.back().first != text) merged.push_back({text, {}});
    for (const Topic& topic : keyword.topics) {
      if (!topic.local.empty()) merged.back().second.insert(topic.local);
    }
  }
  std::string out;
  for (const auto& [text, pages] : merged) {
    out += "(" + text;
    for (const std::string& page : pages)
      out += " >" + page;
    out += ")";
  }
  return out;
}

// chmcmd shares one topic between a contents entry and an index entry whose texts differ only
// in letter case, so that the contents shows the keyword's spelling; these files give it no
// occasion.
TEST(BinarySitemapTest, NativeTreesMatchChmcmdsForTheSameFiles) {
  TempDir dir;
  readback::ChmContents native = CompileSite(dir, "native");
  Decoder decoder(native.files);
  EXPECT_EQ(Show(decoder.Contents()), kTocTree);
  const std::vector<Keyword> keywords = decoder.Keywords();
  EXPECT_EQ(Show(keywords),
            "(beta |Second page >guide/b.htm)(first |Alpha >guide/a.htm |Second page "
            ">guide/b.htm)(Zebra |Gamma >guide/c.htm)(\xc3\x84pfel |Home >index.htm)");
  EXPECT_EQ(decoder.problems, std::vector<std::string>{});
  // Every page of the tree leads back to its entry, so that the viewer can show where it is.
  EXPECT_EQ(decoder.toc_links_missing, std::vector<std::string>{});
  // The text files stay stored as they were.
  EXPECT_TRUE(native.files["/toc.hhc"] == kToc);
  EXPECT_TRUE(native.files["/index.hhk"] == kIndex);
  EXPECT_EQ(native.files["/$WWAssociativeLinks/Property"], std::string(4, '\0'));

  if (!testing::HaveFpUtils()) GTEST_SKIP() << testing::kNoFpUtils;
  const readback::ChmContents chmcmd = CompileSite(dir, "chmcmd");
  Decoder chmcmd_decoder(chmcmd.files);
  EXPECT_EQ(Show(chmcmd_decoder.Contents()), kTocTree);
  EXPECT_EQ(ShowPages(chmcmd_decoder.Keywords()), ShowPages(keywords));
}

// Pages p0.htm ... with titles "Page 0" ..., and the files a decoder needs.
class BinaryBuilderTest : public ::testing::Test {
 protected:
  void AddPages(int count) {
    for (int i = 0; i < count; ++i)
      topics_.Add("p" + std::to_string(i) + ".htm", "Page " + std::to_string(i), true, strings_);
  }
  std::map<std::string, std::string> Files(
      std::initializer_list<std::pair<const char*, const std::vector<uint8_t>*>> extra) {
    const ChmTopicFiles topic_files = topics_.Build();
    std::map<std::string, std::string> files;
    auto put = [&](const char* name, const std::vector<uint8_t>& bytes) {
      files[name] = std::string(bytes.begin(), bytes.end());
    };
    put("/#TOPICS", topic_files.topics);
    put("/#URLTBL", topic_files.urltbl);
    put("/#URLSTR", topic_files.urlstr);
    put("/#STRINGS", strings_.bytes());
    for (const auto& [name, bytes] : extra)
      put(name, *bytes);
    return files;
  }
  ChmStringPool strings_;
  ChmTopicTable topics_;
};

// Walks the index blocks from the root: every index entry names the block whose first keyword
// it repeats, every header the block of its first entry, and the walk reaches every listing
// block once, in order. Returns the listing blocks reached.
std::vector<uint32_t> WalkIndexBlocks(Decoder& decoder, const std::string& btree, uint32_t block,
                                      uint32_t depth) {
  const uint32_t kBlock = 2048;
  const size_t base = 76 + size_t{block} * kBlock;
  if (depth == 1) return {block};
  std::vector<uint32_t> reached;
  const uint32_t count = Decoder::U16(btree, base + 2);
  size_t at = base + 8;
  for (uint32_t i = 0; i < count; ++i) {
    const Keyword key = decoder.ReadKeyword(btree, at, false);
    const uint32_t child = Decoder::U32(btree, at - 4);
    if (i == 0) {
      EXPECT_EQ(Decoder::U32(btree, base + 4), child) << "block " << block;
    }
    // The child's first entry carries the same keyword.
    size_t child_at = 76 + size_t{child} * kBlock + (depth == 2 ? 12 : 8);
    EXPECT_EQ(decoder.ReadKeyword(btree, child_at, depth == 2).text, key.text);
    const std::vector<uint32_t> below = WalkIndexBlocks(decoder, btree, child, depth - 1);
    reached.insert(reached.end(), below.begin(), below.end());
  }
  EXPECT_EQ(kBlock - (at - base), Decoder::U16(btree, base)) << "free space of " << block;
  return reached;
}

std::vector<uint32_t> ListingBlocks(uint32_t count) {
  std::vector<uint32_t> blocks(count);
  std::iota(blocks.begin(), blocks.end(), 0);
  return blocks;
}

TEST_F(BinaryBuilderTest, ManyKeywordsSpreadOverListingAndIndexBlocks) {
  AddPages(50);
  std::vector<SitemapEntry> tree;
  std::map<std::string, std::string> page_of;
  for (int i = 0; i < 6000; ++i) {
    // Mixed letter case and lengths, in no order.
    const int n = i * 7919 % 6000;
    std::string keyword =
        (n % 3 ? "keyword " : "Keyword ") + std::string(n % 40, 'x') + std::to_string(n);
    page_of[keyword] = "p" + std::to_string(n % 50) + ".htm";
    tree.push_back({keyword, {{"", page_of[keyword]}}, {}});
  }
  std::vector<std::string> warnings;
  Result<ChmKeywordLinks> links = BuildKeywordLinks(
      tree, 0x407, topics_, strings_, [&](std::string_view text) { warnings.emplace_back(text); });
  ASSERT_TRUE(links.ok());
  EXPECT_EQ(warnings, std::vector<std::string>{});
  EXPECT_EQ(links->keywords, 6000u);
  const std::map<std::string, std::string> files =
      Files({{"/$WWKeywordLinks/BTree", &links->btree}});
  Decoder decoder(files);
  const std::vector<Keyword> keywords = decoder.Keywords();
  ASSERT_EQ(keywords.size(), 6000u);
  for (size_t i = 0; i < keywords.size(); ++i) {
    SCOPED_TRACE(keywords[i].text);
    if (i > 0) {
      std::string a = keywords[i - 1].text, b = keywords[i].text;
      for (std::string* s : {&a, &b})
        std::transform(s->begin(), s->end(), s->begin(), ::tolower);
      EXPECT_LT(a, b);
    }
    ASSERT_EQ(keywords[i].topics.size(), 1u);
    EXPECT_EQ(keywords[i].topics[0].local, page_of[keywords[i].text]);
  }
  EXPECT_EQ(decoder.problems, std::vector<std::string>{});

  const std::string& btree = files.at("/$WWKeywordLinks/BTree");
  const uint32_t blocks = Decoder::U32(btree, 0x26);
  const uint32_t last_listing = Decoder::U32(btree, 0x1A);
  const uint32_t depth = Decoder::U16(btree, 0x2A);
  EXPECT_EQ(btree.size(), 76 + size_t{blocks} * 2048);
  EXPECT_GE(depth, 3u);  // two levels of index blocks above the listing blocks
  EXPECT_EQ(Decoder::U32(btree, 0x1E), blocks - 1);
  EXPECT_EQ(Decoder::U32(btree, 0x2C), 6000u);
  EXPECT_EQ(Decoder::U32(btree, 0x34), 0x407u);
  EXPECT_EQ(WalkIndexBlocks(decoder, btree, blocks - 1, depth), ListingBlocks(last_listing + 1));
  // Map: the listing blocks and the keywords before each.
  ASSERT_EQ(links->map.size(), 2 + 8 * size_t{last_listing + 1});
  EXPECT_EQ(links->map[0] | links->map[1] << 8, static_cast<int>(last_listing + 1));
  EXPECT_EQ(links->data.size(), 6000u * 13);
}

TEST_F(BinaryBuilderTest, AKeywordOnMorePagesThanABlockHoldsKeepsWhatFits) {
  AddPages(1000);
  SitemapEntry keyword{"common", {}, {}};
  for (int i = 0; i < 1000; ++i)
    keyword.targets.push_back({"", "p" + std::to_string(i) + ".htm"});
  const std::vector<SitemapEntry> tree = {
      {"before", {{"", "p1.htm"}}, {}}, keyword, {"\xc3\xa9t\xc3\xa9", {{"", "p2.htm"}}, {}}};
  std::vector<std::string> warnings;
  Result<ChmKeywordLinks> links = BuildKeywordLinks(
      tree, 0x409, topics_, strings_, [&](std::string_view text) { warnings.emplace_back(text); });
  ASSERT_TRUE(links.ok());
  // Half an index block (1024 bytes) less the entry's fixed fields and its text: 246 pages.
  EXPECT_EQ(warnings, std::vector<std::string>{
                          "keyword with 1000 pages: the binary index lists the first 246"});
  const std::map<std::string, std::string> files =
      Files({{"/$WWKeywordLinks/BTree", &links->btree}});
  Decoder decoder(files);
  const std::vector<Keyword> keywords = decoder.Keywords();
  ASSERT_EQ(keywords.size(), 3u);
  EXPECT_EQ(keywords[1].text, "common");
  EXPECT_EQ(keywords[1].topics.size(), 246u);
  EXPECT_EQ(keywords[2].text, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(decoder.problems, std::vector<std::string>{});

  // Twenty such keywords: one to a listing block, two to an index block, five index levels.
  std::vector<SitemapEntry> many;
  for (int i = 0; i < 20; ++i) {
    many.push_back(keyword);
    many.back().name = "common " + std::to_string(100 + i);
  }
  warnings.clear();
  links = BuildKeywordLinks(many, 0x409, topics_, strings_,
                            [&](std::string_view text) { warnings.emplace_back(text); });
  ASSERT_TRUE(links.ok());
  EXPECT_EQ(warnings.size(), 20u);
  const std::map<std::string, std::string> many_files =
      Files({{"/$WWKeywordLinks/BTree", &links->btree}});
  Decoder many_decoder(many_files);
  const std::string& btree = many_files.at("/$WWKeywordLinks/BTree");
  EXPECT_EQ(many_decoder.Keywords().size(), 20u);
  EXPECT_EQ(Decoder::U32(btree, 0x1A), 19u);  // the last listing block
  const uint32_t blocks = Decoder::U32(btree, 0x26);
  EXPECT_EQ(blocks, 20u + 10 + 5 + 3 + 2 + 1);
  EXPECT_EQ(Decoder::U16(btree, 0x2A), 6u);
  EXPECT_EQ(WalkIndexBlocks(many_decoder, btree, blocks - 1, 6), ListingBlocks(20));
  EXPECT_EQ(many_decoder.problems, std::vector<std::string>{});
}

TEST_F(BinaryBuilderTest, SubKeywordsAndRepeatedPagesAreStoredOnce) {
  AddPages(3);
  const std::vector<SitemapEntry> tree = {
      {"main", {}, {{"sub", {{"", "p1.htm"}, {"", "p1.htm"}}, {}}}},
      {"main", {{"Other title", "p2.htm"}}, {{"sub", {{"", "p0.htm"}}, {}}}},
  };
  Result<ChmKeywordLinks> links = BuildKeywordLinks(tree, 0x409, topics_, strings_, {});
  ASSERT_TRUE(links.ok());
  const std::map<std::string, std::string> files =
      Files({{"/$WWKeywordLinks/BTree", &links->btree}});
  Decoder decoder(files);
  EXPECT_EQ(Show(decoder.Keywords()),
            "(main |Other title >p2.htm)(main, sub @1 |Page 0 >p0.htm |Page 1 >p1.htm)");
  // The listing entry of "main, sub" names where its last part starts.
  const std::string& btree = files.at("/$WWKeywordLinks/BTree");
  const size_t sub = btree.find(std::string("m\0a\0i\0n\0,\0 \0s\0", 14));
  ASSERT_NE(sub, std::string::npos);
  EXPECT_EQ(Decoder::U32(btree, sub + 20 + 4), 6u);
}

TEST_F(BinaryBuilderTest, ContentsRecordsStayInsideBlocksAndPagesPointBack) {
  AddPages(300);
  // 100 label-only chapters of three pages each, some with a label of their own.
  std::vector<SitemapEntry> tree;
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    SitemapEntry chapter{"Chapter " + std::to_string(i), {}, {}};
    std::string children;
    for (int j = 0; j < 3; ++j) {
      const int page = i * 3 + j;
      const std::string label =
          j == 0 ? "Page " + std::to_string(page) : "Part " + std::to_string(j);
      chapter.children.push_back({label, {{"", "p" + std::to_string(page) + ".htm"}}, {}});
      children += "(" + label + " >p" + std::to_string(page) + ".htm)";
    }
    expected += "(" + chapter.name + " [" + children + "])";
    tree.push_back(std::move(chapter));
  }
  const std::vector<uint8_t> tocidx = BuildTocIdx(tree, topics_, strings_);
  ASSERT_GT(tocidx.size(), 2u * 4096);
  const std::map<std::string, std::string> files = Files({{"/#TOCIDX", &tocidx}});
  Decoder decoder(files);
  EXPECT_EQ(Show(decoder.Contents()), expected);
  EXPECT_EQ(decoder.problems, std::vector<std::string>{});
  EXPECT_EQ(decoder.toc_links_missing, std::vector<std::string>{});
  // Header: where the records start and one type-3 record per entry that opens a page.
  EXPECT_EQ(Decoder::U32(files.at("/#TOCIDX"), 0), 0x1000u);
  EXPECT_EQ(Decoder::U32(files.at("/#TOCIDX"), 8), 300u);
  EXPECT_TRUE(BuildTocIdx({}, topics_, strings_).empty());
}

}  // namespace
}  // namespace corvina::chm
