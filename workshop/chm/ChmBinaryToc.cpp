#include "workshop/chm/ChmBinaryToc.h"

#include <algorithm>

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

}  // namespace

std::vector<uint8_t> BuildTocIdx(const std::vector<SitemapEntry>& tree, ChmTopicTable& topics,
                                 ChmStringPool& strings) {
  ChmTocIdxBuilder builder(topics, strings);
  WalkSitemap(tree, [&](size_t depth, SitemapEntry& entry) { builder.Add(depth, entry); });
  return builder.Finish();
}

void ChmTocIdxBuilder::Add(size_t depth, const SitemapEntry& entry) {
  if (pending_) {
    // A child hangs from the last entry one level up; deeper jumps are read as a child.
    depth = std::min(depth, pending_->depth + 1);
    Place(depth > pending_->depth);
  } else {
    depth = std::min<size_t>(depth, 0);
  }
  const bool opens_page = !entry.targets.empty();
  pending_ = Pending{depth, Utf8ToAnsi(entry.name),
                     opens_page ? entry.targets.front().local : std::string(), opens_page};
}

void ChmTocIdxBuilder::Place(bool has_children) {
  const Pending& node = *pending_;
  // The record's place: the header takes the first block, and no record crosses a block.
  const uint32_t size = has_children ? kRecordWithChildrenSize : kRecordSize;
  uint32_t offset = std::max<uint32_t>(kHeaderSize, static_cast<uint32_t>(out_.size()));
  if (offset % kChmTableBlockSize + size > kChmTableBlockSize) {
    offset += kChmTableBlockSize - offset % kChmTableBlockSize;
  }
  ReserveGrowingByQuarter(out_, offset + size - out_.size());
  out_.resize(offset + size, 0);

  // Links: the previous entry at this depth is the previous sibling, unless the parent came
  // after it; then this is the parent's first child.
  const size_t depth = node.depth;
  if (open_.size() > depth) {
    SetU32(out_, open_[depth] + 16, offset);
    open_.resize(depth);
  } else if (depth > 0) {
    SetU32(out_, open_[depth - 1] + 20, offset);
  }
  if (depth > 0) SetU32(out_, offset + 12, open_[depth - 1]);
  open_.push_back(offset);

  const uint32_t page_index = static_cast<uint32_t>(pages_.size());
  // The entry number is an identifier no reader looks up; it keeps its low 16 bits.
  SetU16(out_, offset + 2, page_index & 0xFFFF);
  SetU32(out_, offset + 4,
         (node.opens_page ? kFlagOpensPage : 0) | (has_children ? kFlagHasChildren : 0));
  if (!node.opens_page) {
    SetU32(out_, offset + 8, strings_.Add(node.label));
    return;
  }
  const uint32_t topic = topics_.FindOrAdd(node.local, node.label, true, strings_);
  topics_.SetTocOffset(topic, offset);
  SetU32(out_, offset + 8, topic);
  // The page's own topic is its first one, whatever comes later.
  ReserveGrowingByQuarter(pages_, 1);
  pages_.push_back({offset, topic, *topics_.Find(node.local)});
}

std::vector<uint8_t> ChmTocIdxBuilder::Finish() {
  if (pending_) Place(false);
  pending_.reset();
  if (out_.empty()) return {};
  // A page's own topic leads to its first entry, unless an entry of its own title did above.
  for (const PageRecord& page : pages_)
    topics_.SetTocOffset(page.own_topic, page.offset);

  std::vector<uint8_t> out = std::move(out_);
  out.reserve(out.size() + (4 + kType3RecordSize) * pages_.size() + kType3RecordSize);
  // The topic of every entry that opens a page, in record order, padded to 16 bytes.
  const uint32_t type2 = static_cast<uint32_t>(out.size());
  for (const PageRecord& page : pages_)
    PutU32(out, page.topic);
  out.resize((out.size() + kType3RecordSize - 1) / kType3RecordSize * kType3RecordSize, 0);
  // Per entry that opens a page: its record, its number, its topic's place above, its topic.
  const uint32_t type3 = static_cast<uint32_t>(out.size());
  for (uint32_t i = 0; i < pages_.size(); ++i) {
    PutU32(out, pages_[i].offset);
    PutU32(out, kEntryNumberBase + i);
    PutU32(out, type2 + 4 * i);
    PutU32(out, pages_[i].topic);
  }
  SetU32(out, 0x00, kHeaderSize);
  SetU32(out, 0x04, type3);
  SetU32(out, 0x08, static_cast<uint32_t>(pages_.size()));
  SetU32(out, 0x0C, type2);
  return out;
}

}  // namespace corvina::chm
