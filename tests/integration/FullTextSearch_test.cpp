#include "tests/integration/Chain.h"
#include "workshop/chm/ChmCompiler.h"

namespace corvina::chain {
namespace {

// A site whose pages hold known words, in the forms real sites use: plain HTML in
// Windows-1252, UTF-8 pages with and without a declaration, XHTML with an XML prolog, upper-case
// markup. Words that stand only in scripts, styles, comments or attributes are on no page.
struct SearchSite {
  std::vector<std::string> pages;
  std::map<std::string, std::set<std::string>> holding;  // word (UTF-8) -> pages that show it

  void Write(const fs::path& folder) {
    const char* const vocabulary[] = {"alpha", "bravo", "charlie", "delta", "echo"};
    for (int i = 0; i < 24; ++i) {
      const std::string name = "page" + std::to_string(i) + (i % 5 == 4 ? ".html" : ".htm");
      std::string body;
      for (int w = 0; w < 5; ++w) {
        if (i % (w + 2) == 0) {
          body += std::string(vocabulary[w]) + (w % 2 ? "<b>s</b> " : " ");
          holding[std::string(vocabulary[w]) + (w % 2 ? "s" : "")].insert(name);
        }
      }
      if (i % 3 == 1) {
        body += i % 2 ? "caf&eacute; " : "CAF\xc3\x89 ";  // entity or raw letter, any case
        holding["café"].insert(name);
      }
      if (i % 4 == 2) {
        body += "3.14 don't ";
        holding["3.14"].insert(name);
        holding["dont"].insert(name);
      }
      holding["unique" + std::to_string(i)].insert(name);
      std::string title = "Topic " + std::to_string(i);
      if (i % 6 == 0) {
        title += " Headline";
        holding["headline"].insert(name);
      }
      const std::string hidden =
          "<script>var scriptonly = 1;</script><style>.styleonly { }</style>"
          "<!-- commentonly --><img alt=\"attronly\" src=\"data:image/png;base64,AA==\">";
      std::string page;
      switch (i % 4) {
        case 0:
          page =
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC "
              "\"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
              "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
              "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" +
              title + "</title></head><body><div class=\"sect1\"><p>" + body + "unique" +
              std::to_string(i) + "</p>" + hidden + "<br/></div></body></html>\n";
          break;
        case 1:
          page =
              "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
              "charset=windows-1252\"><title>" +
              title + "</title></head><body><p>" + Utf8ToAnsi(body) + "unique" + std::to_string(i) +
              "</p>" + hidden + "</body></html>\r\n";
          break;
        case 2:
          page = "<html><head><title>" + title + "</title></head><body><p>" + body + "unique" +
                 std::to_string(i) + hidden + "</body></html>\n";
          break;
        default:
          page = "<HTML><HEAD><META charset=\"utf-8\"><TITLE>" + title +
                 "</TITLE></HEAD><BODY><P>" + body + "UNIQUE" + std::to_string(i) + "</P>" +
                 hidden + "</BODY></HTML>\n";
      }
      WriteFileBytes(folder / name, page);
      pages.push_back(name);
    }
    for (const char* hidden : {"scriptonly", "styleonly", "commentonly", "attronly"})
      holding[hidden];
    std::string project =
        "[OPTIONS]\r\nCompiled file=help.chm\r\nDefault topic=page0.htm\r\n"
        "Full-text search=Yes\r\nLanguage=0x409 English (United States)\r\nTitle=Search\r\n"
        "\r\n[FILES]\r\n";
    for (const std::string& page : pages)
      project += page + "\r\n";
    WriteFileBytes(folder / "site.hhp", project);
  }
};

// Searches the file with python3-chm, whole words: the pages found for each word.
std::map<std::string, std::set<std::string>> PythonChmSearch(const fs::path& chm,
                                                             const std::vector<std::string>& words,
                                                             bool titles_only) {
  static const char kScript[] = R"(
import sys
from chm.chm import CHMFile
f = CHMFile()
if not f.LoadCHM(sys.argv[1]):
    sys.exit(2)
for word in sys.argv[3:]:
    found = f.Search(word.encode('cp1252'), 1, int(sys.argv[2]))
    pages = sorted(url.decode('cp1252') for url in found[1].values()) if found else []
    print(word + ':' + ''.join(' ' + p for p in pages))
)";
  std::vector<std::string> argv = {"/usr/bin/python3", "-c", kScript, chm.string(),
                                   titles_only ? "1" : "0"};
  argv.insert(argv.end(), words.begin(), words.end());
  const ProgramRun run = RunProgram(argv);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::map<std::string, std::set<std::string>> found;
  for (const std::string& line : LinesStarting(run.out, "")) {
    const size_t colon = line.find(':');
    std::set<std::string>& pages = found[line.substr(0, colon)];
    for (size_t at = colon + 1; at < line.size();) {
      const size_t next = std::min(line.find(' ', at + 1), line.size());
      pages.insert(line.substr(at + 1, next - at - 1));
      at = next;
    }
  }
  return found;
}

TEST(FullTextSearchTest, PythonChmFindsExactlyThePagesThatShowTheWord) {
  if (RunProgram({"/usr/bin/python3", "-c", "import chm.chm"}).exit_code != 0)
    GTEST_SKIP() << "python3-chm is not installed (apt-get install python3-chm)";
  TempDir dir;
  SearchSite site;
  site.Write(dir.path());
  const ProgramRun hhc =
      RunProgram({BuiltProgram("hhc"), "--engine", "native", "site.hhp"}, dir.path());
  ASSERT_EQ(hhc.exit_code, 0) << hhc.out << hhc.err;
  EXPECT_EQ(hhc.out.find("HHC"), std::string::npos) << hhc.out;

  std::vector<std::string> words;
  for (const auto& [word, pages] : site.holding)
    words.push_back(word);
  const auto found = PythonChmSearch(dir / "help.chm", words, false);
  for (const auto& [word, pages] : site.holding) {
    SCOPED_TRACE(word);
    ASSERT_TRUE(found.contains(word));
    EXPECT_EQ(found.at(word), pages);
  }
  // Titles only: the title words, and none of the body's.
  const auto titles = PythonChmSearch(dir / "help.chm", {"headline", "topic", "alpha"}, true);
  EXPECT_EQ(titles.at("headline"), site.holding["headline"]);
  EXPECT_EQ(titles.at("topic").size(), site.pages.size());
  EXPECT_TRUE(titles.at("alpha").empty());
}

// The full-text flag of #SYSTEM record 4 (the third DWORD of its data); -1 without the record.
int SystemSearchFlag(const std::string& system) {
  for (size_t at = 4; at + 4 <= system.size();) {
    const auto u16 = [&](size_t i) {
      return static_cast<uint8_t>(system[i]) | static_cast<uint8_t>(system[i + 1]) << 8;
    };
    const size_t code = u16(at);
    const size_t length = u16(at + 2);
    if (code == 4 && length >= 12) return static_cast<uint8_t>(system[at + 4 + 8]);
    at += 4 + length;
  }
  return -1;
}

// The index is the same for any number of threads; the viewer learns from #SYSTEM whether to
// offer search, and the flag follows the index.
TEST(FullTextSearchTest, SameIndexForAnyNumberOfThreadsAndFlaggedInSystem) {
  TempDir dir;
  SearchSite site;
  site.Write(dir.path());
  for (int copy = 0; copy < 8; ++copy) {
    for (int i = 0; i < 24; ++i) {
      fs::copy_file(dir / site.pages[i], dir / ("c" + std::to_string(copy) + site.pages[i]));
      site.pages.push_back("c" + std::to_string(copy) + site.pages[i]);
    }
  }
  std::string first;
  for (const auto& [threads, search] :
       {std::pair{1, true}, {2, true}, {4, true}, {1, true}, {1, false}}) {
    SCOPED_TRACE(threads);
    SCOPED_TRACE(search);
    chm::ChmProject project;
    project.compiled_file = dir / "out.chm";
    project.project_folder = dir.path();
    project.title = "Search";
    project.default_topic = "page0.htm";
    project.full_text_search = search;
    project.files = site.pages;
    chm::ChmCompileOptions options;
    options.threads = threads;
    ASSERT_TRUE(chm::CompileChm(project, options).ok());
    const chm::readback::ChmContents contents = chm::readback::ReadWithLibchm(dir / "out.chm");
    ASSERT_EQ(contents.error, "");
    EXPECT_EQ(SystemSearchFlag(contents.files.at("/#SYSTEM")), search ? 1 : 0);
    EXPECT_EQ(contents.files.contains("/$FIftiMain"), search);
    if (!search) continue;
    const std::string& index = contents.files.at("/$FIftiMain");
    EXPECT_EQ(index.substr(0, 4), std::string("\0\0\x28\0", 4));
    EXPECT_EQ(static_cast<uint8_t>(index[4]), site.pages.size());  // pages indexed
    const std::string bytes = ReadFileBytes(dir / "out.chm");
    if (first.empty()) first = bytes;
    EXPECT_TRUE(bytes == first);
  }
}

}  // namespace
}  // namespace corvina::chain
