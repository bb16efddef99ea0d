// The contents and index sitemaps, as decompile --to-site, hhc and its compiler read them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/FuzzInput.h"
#include "sitehost/SitemapOutline.h"
#include "workshop/chm/ChmSitemap.h"
#include "workshop/chm/PageLinks.h"
#include "workshop/common/HhcSitemap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  const std::string_view text = fuzz::AsText(data, size);
  const auto entries = sitehost::ParseSitemap(text);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].parent >= static_cast<int>(i) || entries[i].parent < -1) __builtin_trap();
  }
  static const fuzz::ScratchFolder scratch("sitemap-fuzz");
  const std::filesystem::path& folder = scratch.path();
  sitehost::OutlineFromSitemap(text, folder);
  workshop::ReencodeSitemapLocals(text, folder);
  workshop::ReencodeIndexKeywords(text);
  // The sitemap read whole and read in pieces (of a size the input chooses) give the same
  // entries at the same depths.
  std::string whole;
  std::string streamed;
  const auto show = [](std::string& out) {
    return [&out](size_t depth, chm::SitemapEntry& entry) {
      out += std::to_string(depth) + ":" + entry.name;
      for (const chm::SitemapTarget& target : entry.targets)
        out += "|" + target.title + ">" + target.local;
      out += '\n';
    };
  };
  chm::WalkSitemap(chm::ParseSitemap(text), show(whole));
  const size_t piece = size == 0 ? 1 : 1 + data[0] % 61;
  chm::SitemapStreamReader reader(show(streamed));
  for (size_t at = 0; at < text.size(); at += piece)
    reader.Add(text.substr(at, piece));
  reader.Finish();
  if (streamed != whole) __builtin_trap();
  chm::ScanSitemapLinks(text);
  return 0;
}
