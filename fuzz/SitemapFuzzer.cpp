// The contents and index sitemaps, as decompile --to-site, hhc and its compiler read them.
#include <cstddef>
#include <cstdint>
#include <filesystem>

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
  chm::ParseSitemap(text);
  chm::ScanSitemapLinks(text);
  return 0;
}
