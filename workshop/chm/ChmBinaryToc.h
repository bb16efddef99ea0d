#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "workshop/chm/ChmSitemap.h"
#include "workshop/chm/ChmSystemFiles.h"

namespace corvina::chm {

// /#TOCIDX, the binary contents: one record per entry in tree order, linked to its parent,
// next sibling and first child, none crossing a 4096-byte block. An entry that opens a page
// names a topic titled with its label (the page's own topic when its title is the label, else
// a new topic of the same page), and the page's own topic records where its entry is, so that
// the viewer can find the page in the tree. A label-only entry keeps its label in #STRINGS.
// Returns an empty vector for an empty tree.
std::vector<uint8_t> BuildTocIdx(const std::vector<SitemapEntry>& tree, ChmTopicTable& topics,
                                 ChmStringPool& strings);

// Builds the same bytes from entries handed over one at a time in tree order (as a
// SitemapStreamReader hands them): only the records and a few words per page are held.
class ChmTocIdxBuilder {
 public:
  ChmTocIdxBuilder(ChmTopicTable& topics, ChmStringPool& strings)
      : topics_(topics), strings_(strings) {}
  void Add(size_t depth, const SitemapEntry& entry);
  std::vector<uint8_t> Finish();

 private:
  struct Pending {
    size_t depth;
    std::string label;  // in the file's code page
    std::string local;  // empty for a label-only entry
    bool opens_page;
  };
  struct PageRecord {
    uint32_t offset, topic, own_topic;
  };
  // Places the pending entry now that it is known whether children follow it.
  void Place(bool has_children);

  ChmTopicTable& topics_;
  ChmStringPool& strings_;
  std::vector<uint8_t> out_;
  std::optional<Pending> pending_;
  std::vector<uint32_t> open_;  // record offsets of the last entry placed at each depth
  std::vector<PageRecord> pages_;
};

}  // namespace corvina::chm
