#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/ChmSitemap.h"
#include "workshop/chm/ChmSystemFiles.h"

namespace corvina::chm {

// The files of $WWKeywordLinks/, the binary index.
struct ChmKeywordLinks {
  std::vector<uint8_t> btree, data, map, property;
  uint32_t keywords = 0;
};

// Builds the binary index from an index tree. Keywords are merged (the same keyword on several
// entries lists all their pages once each) and sorted ignoring letter case; a sub-keyword is
// stored as "keyword, sub-keyword" one level down. Each page is a topic titled as the entry
// titles it (the page's own topic when the entry gives no title or the page's title). An entry
// takes at most half a 2048-byte block: a keyword on more pages keeps as many as fit (about
// 240), and `warn` is told; the index file itself keeps them all.
Result<ChmKeywordLinks> BuildKeywordLinks(const std::vector<SitemapEntry>& tree, uint32_t lcid,
                                          ChmTopicTable& topics, ChmStringPool& strings,
                                          const std::function<void(std::string_view)>& warn);

// Builds the same files from entries handed over one at a time in tree order (as a
// SitemapStreamReader hands them): only the keywords and their topics are held.
class ChmKeywordLinksBuilder {
 public:
  ChmKeywordLinksBuilder(uint32_t lcid, ChmTopicTable& topics, ChmStringPool& strings,
                         std::function<void(std::string_view)> warn);
  ~ChmKeywordLinksBuilder();
  ChmKeywordLinksBuilder(const ChmKeywordLinksBuilder&) = delete;
  ChmKeywordLinksBuilder& operator=(const ChmKeywordLinksBuilder&) = delete;

  void Add(size_t depth, const SitemapEntry& entry);
  Result<ChmKeywordLinks> Finish();

 private:
  class Collector;
  uint32_t lcid_;
  std::unique_ptr<Collector> collector_;
  std::function<void(std::string_view)> warn_;
};

}  // namespace corvina::chm
