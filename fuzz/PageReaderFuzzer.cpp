// The page readers: the site host's (encoding detection, title, keywords, links) and hhc's
// (title, references, anchors, full-text words). Reading only the head gives the same title
// and keywords as reading the whole page, the parser's events and the plain reading give the same
// facts as its tree, and every link resolves inside the project or not at all.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "platform/TextEncoding.h"
#include "sitehost/PageParse.h"
#include "sitehost/PageReader.h"
#include "sitehost/PlainHead.h"
#include "workshop/chm/ChmFullTextWords.h"
#include "workshop/chm/LinkedFiles.h"
#include "workshop/chm/PageLinks.h"
#include "workshop/chm/PageTitle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  const std::string_view raw = fuzz::AsText(data, size);
  const sitehost::PageText text = sitehost::DecodePageBytes(raw);
  DecodeUtf8OrWindows1252(raw);
  const sitehost::PageFacts all = sitehost::ParsePage(raw, sitehost::PageParts::kAll);
  const sitehost::PageFacts head = sitehost::ParsePage(raw, sitehost::PageParts::kHead);
  if (all.title != head.title || all.keywords != head.keywords) __builtin_trap();
  const sitehost::PageFacts tree = sitehost::ParsePageTree(text, sitehost::PageParts::kAll);
  const sitehost::PageFacts events = sitehost::ParsePageEvents(text, sitehost::PageParts::kAll);
  if (tree.title != events.title || tree.keywords != events.keywords ||
      tree.links != events.links) {
    __builtin_trap();
  }
  if (text.encoding == "UTF-8") {
    if (const std::optional<sitehost::PageFacts> plain = sitehost::ReadPlainPage(text.bytes)) {
      if (tree.title != plain->title || tree.keywords != plain->keywords ||
          tree.links != plain->links) {
        __builtin_trap();
      }
    }
  }

  chm::ReadPageTitle(raw);
  chm::ExtractPageWords(raw);
  chm::ScanStyleSheetLinks(raw);
  for (const chm::PageLink& link : chm::ScanPageLinks(raw).links) {
    const chm::ResolvedLink resolved = chm::ResolveLink("sub/page.htm", link.target);
    if (resolved.kind == chm::ResolvedLink::Kind::kFile &&
        (resolved.path.starts_with("../") || resolved.path == ".." ||
         resolved.path.starts_with("/"))) {
      __builtin_trap();
    }
  }
  return 0;
}
