#pragma once

#include <cstdint>
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

}  // namespace corvina::chm
