#include "workshop/chm/ChmBinaryToc.h"

#include "platform/TextEncoding.h"
#include "workshop/chm/ChmBytes.h"

namespace corvina::chm {
namespace {

// The header takes the first block; records start in the second.
constexpr uint32_t kHeaderSize = kChmTableBlockSize;
constexpr uint32_t kRecordSize = 0x14;
constexpr uint32_t kRecordWithChildrenSize = 0x1C;
// Flags: 8 the entry opens a page; 4 (the children bit as some readers take it) and 1 (as
// others take it) both set for an entry with children.
constexpr uint32_t kFlagOpensPage = 8;
constexpr uint32_t kFlagHasChildren = 4 | 1;
constexpr uint32_t kEntryNumberBase = 0x29A;
constexpr uint32_t kType3RecordSize = 16;

struct Node {
  const SitemapEntry* entry;
  uint32_t parent = 0;  // record offsets; 0: none
  uint32_t next = 0;
  uint32_t first_child = 0;
  uint32_t offset = 0;
  uint32_t topic = 0;       // when the entry opens a page
  uint32_t text = 0;        // #STRINGS offset of a label-only entry
  uint32_t page_index = 0;  // entries that open a page before this one
};

// Appends the entries of `list` and their descendants in tree order.
void Flatten(const std::vector<SitemapEntry>& list, int parent, std::vector<Node>& nodes,
             std::vector<int>& parents) {
  for (const SitemapEntry& entry : list) {
    nodes.push_back({&entry});
    parents.push_back(parent);
    Flatten(entry.children, static_cast<int>(nodes.size()) - 1, nodes, parents);
  }
}

}  // namespace

std::vector<uint8_t> BuildTocIdx(const std::vector<SitemapEntry>& tree, ChmTopicTable& topics,
                                 ChmStringPool& strings) {
  std::vector<Node> nodes;
  std::vector<int> parents;
  Flatten(tree, -1, nodes, parents);
  if (nodes.empty()) return {};

  // Record offsets, each record inside one block.
  uint32_t offset = kHeaderSize;
  for (Node& node : nodes) {
    const uint32_t size = node.entry->children.empty() ? kRecordSize : kRecordWithChildrenSize;
    if (offset % kChmTableBlockSize + size > kChmTableBlockSize) {
      offset += kChmTableBlockSize - offset % kChmTableBlockSize;
    }
    node.offset = offset;
    offset += size;
  }
  const uint32_t records_end = offset;

  // Links: a node's next sibling is the next node with the same parent.
  std::vector<int> last_child(nodes.size(), -1);
  int last_top = -1;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const int parent = parents[i];
    int& previous = parent < 0 ? last_top : last_child[parent];
    if (previous >= 0) {
      nodes[previous].next = nodes[i].offset;
    } else if (parent >= 0) {
      nodes[parent].first_child = nodes[i].offset;
    }
    previous = static_cast<int>(i);
    if (parent >= 0) nodes[i].parent = nodes[parent].offset;
  }

  uint32_t pages = 0;
  for (Node& node : nodes) {
    const std::string label = Utf8ToAnsi(node.entry->name);
    node.page_index = pages;
    if (node.entry->targets.empty()) {
      node.text = strings.Add(label);
      continue;
    }
    node.topic = topics.FindOrAdd(node.entry->targets.front().local, label, true, strings);
    topics.SetTocOffset(node.topic, node.offset);
    ++pages;
  }
  // A page's own topic leads to its first entry, unless an entry of its own title did above.
  for (const Node& node : nodes) {
    if (node.entry->targets.empty()) continue;
    const std::string& path = node.entry->targets.front().local;
    if (std::optional<uint32_t> own = topics.Find(path)) topics.SetTocOffset(*own, node.offset);
  }

  std::vector<uint8_t> out(records_end, 0);
  for (const Node& node : nodes) {
    const bool page = !node.entry->targets.empty();
    const bool children = !node.entry->children.empty();
    // The entry number is an identifier no reader looks up; it keeps its low 16 bits.
    SetU16(out, node.offset + 2, node.page_index & 0xFFFF);
    SetU32(out, node.offset + 4, (page ? kFlagOpensPage : 0) | (children ? kFlagHasChildren : 0));
    SetU32(out, node.offset + 8, page ? node.topic : node.text);
    SetU32(out, node.offset + 12, node.parent);
    SetU32(out, node.offset + 16, node.next);
    if (children) SetU32(out, node.offset + 20, node.first_child);
  }
  // The topic of every entry that opens a page, in record order, padded to 16 bytes.
  const uint32_t type2 = static_cast<uint32_t>(out.size());
  for (const Node& node : nodes) {
    if (!node.entry->targets.empty()) PutU32(out, node.topic);
  }
  out.resize((out.size() + kType3RecordSize - 1) / kType3RecordSize * kType3RecordSize, 0);
  // Per entry that opens a page: its record, its number, its topic's place above, its topic.
  const uint32_t type3 = static_cast<uint32_t>(out.size());
  for (const Node& node : nodes) {
    if (node.entry->targets.empty()) continue;
    PutU32(out, node.offset);
    PutU32(out, kEntryNumberBase + node.page_index);
    PutU32(out, type2 + 4 * node.page_index);
    PutU32(out, node.topic);
  }
  SetU32(out, 0x00, kHeaderSize);
  SetU32(out, 0x04, type3);
  SetU32(out, 0x08, pages);
  SetU32(out, 0x0C, type2);
  return out;
}

}  // namespace corvina::chm
