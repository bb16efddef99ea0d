#include "workshop/chm/ChmBinaryIndex.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/TextEncoding.h"
#include "workshop/chm/ChmBytes.h"

namespace corvina::chm {
namespace {

constexpr uint32_t kBlockSize = 2048;
constexpr uint32_t kHeaderSize = 76;
constexpr uint32_t kListingHeaderSize = 12;
constexpr uint32_t kIndexHeaderSize = 8;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kCodePage = 1252;
constexpr uint32_t kInChm = 1;
constexpr uint32_t kHeaderMagic = 10031;
// A listing entry beyond its text: the text's terminating NUL, see-also flag, level, offset of
// the last component, a zero, the topic count, a one and the keyword's place in Data.
constexpr uint32_t kEntryFixedBytes = 2 + 2 + 2 + 4 + 4 + 4 + 4 + 4;
// An index entry ends in the child block's number instead of the last two fields.
constexpr uint32_t kListingOnlyTail = 8;
// The largest listing entry: its index entry (four bytes shorter) fills at most half an index
// block, so that every index block holds two entries or more and each level has fewer blocks
// than the one below.
constexpr uint32_t kMaxEntryBytes = (kBlockSize - kIndexHeaderSize) / 2 + 4;
constexpr uint8_t kDataRecord[] = {0, 0, 0, 0, 5, 0, 0, 0, 0x80, 0, 0, 0, 0};
constexpr uint32_t kMaxCount16 = 0xFFFF;

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += 1 + extra;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 | c >> 10);
      out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// Letter case folded for sorting: ASCII and the Latin-1 letters.
std::u16string Fold(const std::u16string& text) {
  std::u16string out = text;
  for (char16_t& c : out) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 32;
  }
  return out;
}

struct Keyword {
  std::vector<std::u16string> components;
  std::vector<std::u16string> folded;
  std::vector<uint32_t> topics;
};

}  // namespace

class ChmKeywordLinksBuilder::Collector {
 public:
  Collector(ChmTopicTable& topics, ChmStringPool& strings) : topics_(topics), strings_(strings) {}

  // Takes the entries in tree order; an entry's keyword is its parent's plus its own name.
  void Add(size_t depth, const SitemapEntry& entry) {
    depth = std::min(depth, open_.size());
    open_.resize(depth);
    Keyword keyword;
    if (depth > 0) {
      keyword.components = keywords_[open_.back()].components;
      keyword.folded = keywords_[open_.back()].folded;
    }
    keyword.components.push_back(Utf16(entry.name));
    keyword.folded.push_back(Fold(keyword.components.back()));
    std::u16string key;
    for (const std::u16string& component : keyword.components)
      key += component + u'\x01';
    auto [it, added] = by_key_.try_emplace(key, keywords_.size());
    if (added) keywords_.push_back(std::move(keyword));
    const size_t index = it->second;
    const std::string name = Utf8ToAnsi(entry.name);
    for (const SitemapTarget& target : entry.targets) {
      const uint32_t topic = TopicOf(target, name);
      if (seen_.insert(uint64_t{index} << 32 | topic).second) {
        keywords_[index].topics.push_back(topic);
      }
    }
    open_.push_back(index);
  }

  std::vector<Keyword>& keywords() { return keywords_; }

 private:
  uint32_t TopicOf(const SitemapTarget& target, const std::string& keyword) {
    const std::string& path = target.local;
    if (target.title.empty()) {
      if (std::optional<uint32_t> own = topics_.Find(path)) return *own;
      return topics_.FindOrAdd(path, keyword, false, strings_);
    }
    return topics_.FindOrAdd(path, Utf8ToAnsi(target.title), false, strings_);
  }

  ChmTopicTable& topics_;
  ChmStringPool& strings_;
  std::vector<Keyword> keywords_;
  std::unordered_map<std::u16string, size_t> by_key_;
  std::unordered_set<uint64_t> seen_;  // keyword index << 32 | topic
  std::vector<size_t> open_;           // the keyword of the last entry at each depth
};

namespace {

// Blocks of one level, each closed when the next entry would not fit.
class BlockPacker {
 public:
  BlockPacker(uint32_t header_size, uint32_t first_block)
      : header_size_(header_size), next_number_(first_block) {}

  // Adds an entry; returns true when it opened a new block.
  bool Add(const std::vector<uint8_t>& entry) {
    const bool open = !blocks_.empty() && blocks_.back().size() + entry.size() <= kBlockSize;
    if (!open) {
      blocks_.emplace_back(header_size_, 0);
      counts_.push_back(0);
    }
    blocks_.back().insert(blocks_.back().end(), entry.begin(), entry.end());
    ++counts_.back();
    return !open;
  }
  // Fills each block's free-space and count fields and its size.
  std::vector<std::vector<uint8_t>> Finish() {
    for (size_t i = 0; i < blocks_.size(); ++i) {
      SetU16(blocks_[i], 0, kBlockSize - static_cast<uint32_t>(blocks_[i].size()));
      SetU16(blocks_[i], 2, counts_[i]);
      blocks_[i].resize(kBlockSize, 0);
    }
    return std::move(blocks_);
  }
  uint32_t NumberOf(size_t block) const { return next_number_ + static_cast<uint32_t>(block); }
  size_t size() const { return blocks_.size(); }

 private:
  uint32_t header_size_;
  uint32_t next_number_;
  std::vector<std::vector<uint8_t>> blocks_;
  std::vector<uint32_t> counts_;
};

}  // namespace

Result<ChmKeywordLinks> BuildKeywordLinks(const std::vector<SitemapEntry>& tree, uint32_t lcid,
                                          ChmTopicTable& topics, ChmStringPool& strings,
                                          const std::function<void(std::string_view)>& warn) {
  ChmKeywordLinksBuilder builder(lcid, topics, strings, warn);
  WalkSitemap(tree, [&](size_t depth, SitemapEntry& entry) { builder.Add(depth, entry); });
  return builder.Finish();
}

ChmKeywordLinksBuilder::ChmKeywordLinksBuilder(uint32_t lcid, ChmTopicTable& topics,
                                               ChmStringPool& strings,
                                               std::function<void(std::string_view)> warn)
    : lcid_(lcid),
      collector_(std::make_unique<Collector>(topics, strings)),
      warn_(std::move(warn)) {}

ChmKeywordLinksBuilder::~ChmKeywordLinksBuilder() = default;

void ChmKeywordLinksBuilder::Add(size_t depth, const SitemapEntry& entry) {
  collector_->Add(depth, entry);
}

Result<ChmKeywordLinks> ChmKeywordLinksBuilder::Finish() {
  const uint32_t lcid = lcid_;
  const std::function<void(std::string_view)>& warn = warn_;
  std::vector<Keyword>& keywords = collector_->keywords();
  std::vector<size_t> order(keywords.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const Keyword& x = keywords[a];
    const Keyword& y = keywords[b];
    if (x.folded != y.folded) return x.folded < y.folded;
    return x.components < y.components;
  });

  // Listing blocks, and for each its first entry without the listing-only tail.
  ChmKeywordLinks links;
  BlockPacker listing(kListingHeaderSize, 0);
  std::vector<std::vector<uint8_t>> firsts;
  std::vector<uint32_t> keywords_before;  // per listing block
  for (size_t index : order) {
    const Keyword& keyword = keywords[index];
    std::u16string text;
    for (const std::u16string& component : keyword.components)
      text += (text.empty() ? u"" : u", ") + component;
    const uint32_t room = kMaxEntryBytes;
    const uint32_t fixed = 2 * static_cast<uint32_t>(text.size()) + kEntryFixedBytes;
    if (fixed > room) {
      if (warn) warn("keyword too long for the binary index, left out of it");
      continue;
    }
    size_t count = keyword.topics.size();
    if (fixed + 4 * count > room) {
      count = (room - fixed) / 4;
      if (warn) {
        warn("keyword with " + std::to_string(keyword.topics.size()) +
             " pages: the binary index lists the first " + std::to_string(count));
      }
    }
    std::vector<uint8_t> entry;
    for (char16_t c : text)
      PutU16(entry, c);
    PutU16(entry, 0);
    PutU16(entry, 0);  // not a see-also entry
    PutU16(entry, static_cast<uint32_t>(keyword.components.size() - 1));
    PutU32(entry, static_cast<uint32_t>(text.size() - keyword.components.back().size()));
    PutU32(entry, 0);
    PutU32(entry, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i)
      PutU32(entry, keyword.topics[i]);
    PutU32(entry, 1);
    PutU32(entry, links.keywords * static_cast<uint32_t>(sizeof(kDataRecord)));
    if (listing.Add(entry)) {
      firsts.emplace_back(entry.begin(), entry.end() - kListingOnlyTail);
      keywords_before.push_back(links.keywords);
    }
    links.data.insert(links.data.end(), std::begin(kDataRecord), std::end(kDataRecord));
    ++links.keywords;
  }
  if (links.keywords == 0) return links;
  if (listing.size() > kMaxCount16) {
    return Error{kErrInvalidArgument,
                 "too many keywords for the binary index (" + std::to_string(links.keywords) + ")"};
  }
  const uint32_t listing_blocks = static_cast<uint32_t>(listing.size());
  std::vector<std::vector<uint8_t>> blocks = listing.Finish();
  for (uint32_t b = 0; b < listing_blocks; ++b) {
    SetU32(blocks[b], 4, b == 0 ? kNone : b - 1);
    SetU32(blocks[b], 8, b + 1 == listing_blocks ? kNone : b + 1);
  }

  // Index levels: each entry is the first entry of a block below and that block's number;
  // the block header names its first entry's block. The root is the last block.
  uint32_t depth = 1;
  std::vector<uint32_t> children(listing_blocks);
  for (uint32_t b = 0; b < listing_blocks; ++b)
    children[b] = b;
  while (firsts.size() > 1) {
    BlockPacker level(kIndexHeaderSize, static_cast<uint32_t>(blocks.size()));
    std::vector<std::vector<uint8_t>> level_firsts;
    std::vector<uint32_t> level_children;
    std::vector<uint32_t> first_child;  // per block of this level
    for (size_t i = 0; i < firsts.size(); ++i) {
      std::vector<uint8_t> entry = firsts[i];
      PutU32(entry, children[i]);
      if (level.Add(entry)) {
        level_firsts.push_back(firsts[i]);
        level_children.push_back(level.NumberOf(level.size() - 1));
        first_child.push_back(children[i]);
      }
    }
    assert(level.size() < firsts.size());
    std::vector<std::vector<uint8_t>> level_blocks = level.Finish();
    for (size_t b = 0; b < level_blocks.size(); ++b) {
      SetU32(level_blocks[b], 4, first_child[b]);
      blocks.push_back(std::move(level_blocks[b]));
    }
    firsts = std::move(level_firsts);
    children = std::move(level_children);
    ++depth;
  }

  links.btree.assign(kHeaderSize, 0);
  links.btree[0] = 0x3B;
  links.btree[1] = 0x29;
  SetU16(links.btree, 0x02, 2);
  SetU16(links.btree, 0x04, kBlockSize);
  std::copy_n("X44", 3, links.btree.begin() + 0x06);
  SetU32(links.btree, 0x1A, listing_blocks - 1);
  SetU32(links.btree, 0x1E, static_cast<uint32_t>(blocks.size() - 1));
  SetU32(links.btree, 0x22, kNone);
  SetU32(links.btree, 0x26, static_cast<uint32_t>(blocks.size()));
  SetU16(links.btree, 0x2A, depth);
  SetU32(links.btree, 0x2C, links.keywords);
  SetU32(links.btree, 0x30, kCodePage);
  SetU32(links.btree, 0x34, lcid);
  SetU32(links.btree, 0x38, kInChm);
  SetU32(links.btree, 0x3C, kHeaderMagic);
  for (const std::vector<uint8_t>& block : blocks)
    links.btree.insert(links.btree.end(), block.begin(), block.end());

  PutU16(links.map, listing_blocks);
  for (uint32_t b = 0; b < listing_blocks; ++b) {
    PutU32(links.map, keywords_before[b]);
    PutU32(links.map, b);
  }
  for (uint32_t value : {0u, 0u, 0u, 0x0Cu, 1u, 1u, 0u, 0u})
    PutU32(links.property, value);
  return links;
}

}  // namespace corvina::chm
