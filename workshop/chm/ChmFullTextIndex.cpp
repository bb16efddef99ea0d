#include "workshop/chm/ChmFullTextIndex.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>

#include "workshop/chm/ChmBytes.h"

namespace corvina::chm {
namespace {

constexpr size_t kHeaderSize = 0x400;
constexpr size_t kNodeSize = 4096;
constexpr size_t kLeafHeader = 8;   // next leaf, 0, free bytes
constexpr size_t kIndexHeader = 2;  // free bytes
// Roots of the scale-2 codes for topic deltas, per-topic counts and location deltas: the values
// every reader takes from the header, and the only ones seen in files that work.
constexpr int kTopicRoot = 1;
constexpr int kCountRoot = 1;
constexpr int kLocationRoot = 4;
constexpr uint32_t kCodePage = 1252;  // the words are Windows-1252
constexpr uint8_t kTitleContext = 1;
constexpr uint8_t kBodyContext = 0;

void PutVarint(std::vector<uint8_t>& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

size_t VarintSize(uint64_t value) {
  size_t size = 1;
  for (; value >= 0x80; value >>= 7)
    ++size;
  return size;
}

size_t SharedPrefix(std::string_view a, std::string_view b) {
  const size_t limit = std::min({a.size(), b.size(), size_t{255}});
  size_t n = 0;
  while (n < limit && a[n] == b[n])
    ++n;
  return n;
}

// A node being filled: entries share a prefix with the entry before them in the same node.
struct Node {
  std::vector<uint8_t> bytes;
  std::string last;  // word or key of the last entry
};

struct Child {
  std::string last;
  uint32_t offset;
};

size_t HashSlot(uint64_t hash, size_t table_size) {
  return static_cast<size_t>(hash ^ hash >> 32) & (table_size - 1);
}

}  // namespace

uint64_t FullTextKeyHash(std::string_view word, bool title) {
  // FNV-1a over the word, then the context.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : word)
    hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
  return (hash ^ (title ? 1 : 2)) * 0x100000001b3ull;
}

PageWordGroups GroupPageWords(const PageWords& words) {
  const size_t count = words.words.size();
  uint32_t titles = 0;
  for (const PageWord& word : words.words)
    titles += word.title ? 1 : 0;

  // Each occurrence's group, through an open-addressing table of group numbers.
  constexpr uint32_t kNone = 0xFFFFFFFF;
  PageWordGroups groups;
  std::vector<uint32_t> table(256, kNone);
  std::vector<uint32_t> group_of(count);
  for (size_t i = 0; i < count; ++i) {
    if ((groups.groups.size() + 1) * 2 > table.size()) {
      table.assign(table.size() * 2, kNone);
      for (uint32_t g = 0; g < groups.groups.size(); ++g) {
        size_t slot = HashSlot(groups.groups[g].hash, table.size());
        while (table[slot] != kNone)
          slot = (slot + 1) & (table.size() - 1);
        table[slot] = g;
      }
    }
    const PageWord& word = words.words[i];
    const std::string_view text = words.Text(word);
    const uint64_t hash = FullTextKeyHash(text, word.title);
    size_t slot = HashSlot(hash, table.size());
    for (; table[slot] != kNone; slot = (slot + 1) & (table.size() - 1)) {
      const PageWordGroup& group = groups.groups[table[slot]];
      if (group.hash == hash && group.title == word.title && groups.Text(group) == text) break;
    }
    if (table[slot] == kNone) {
      table[slot] = static_cast<uint32_t>(groups.groups.size());
      groups.groups.push_back(
          {static_cast<uint32_t>(groups.text.size()), word.length, word.title, 0, 0, hash});
      groups.text += text;
    }
    group_of[i] = table[slot];
    ++groups.groups[table[slot]].count;
  }

  // Locations: title words from 0, then the body words, each group's in increasing order.
  std::vector<uint32_t> cursor(groups.groups.size());
  uint32_t next = 0;
  for (size_t g = 0; g < groups.groups.size(); ++g) {
    groups.groups[g].first_location = cursor[g] = next;
    next += groups.groups[g].count;
  }
  groups.locations.resize(count);
  uint32_t next_title = 0;
  uint32_t next_body = titles;
  for (size_t i = 0; i < count; ++i) {
    groups.locations[cursor[group_of[i]]++] = words.words[i].title ? next_title++ : next_body++;
  }
  std::sort(groups.groups.begin(), groups.groups.end(),
            [&](const PageWordGroup& x, const PageWordGroup& y) {
              if (const int c = groups.Text(x).compare(groups.Text(y)); c != 0) return c < 0;
              return x.title && !y.title;
            });
  return groups;
}

void FullTextBitWriter::Put(uint32_t bits, int count) {
  pending_ = (pending_ << count) | (bits & ((uint64_t{1} << count) - 1));
  pending_bits_ += count;
  while (pending_bits_ >= 8) {
    pending_bits_ -= 8;
    out_.push_back(static_cast<uint8_t>(pending_ >> pending_bits_));
  }
}

void FullTextBitWriter::PutSrCode(uint32_t value, int root) {
  if (value < (uint32_t{1} << root)) {
    Put(0, 1);
    Put(value, root);
    return;
  }
  const int width = std::bit_width(value);
  const int ones = width - root;
  Put((uint32_t{1} << ones) - 1, ones);
  Put(0, 1);
  Put(value, width - 1);  // the leading 1 is implied
}

void FullTextBitWriter::Flush() {
  if (pending_bits_ > 0) Put(0, 8 - pending_bits_);
}

ChmFullTextIndex::ChmFullTextIndex(uint32_t lcid, std::filesystem::path scratch_folder,
                                   size_t memory_limit)
    : lcid_(lcid), lists_(std::move(scratch_folder), memory_limit) {}

// Entries in byte order of their words; a word's body entry before its title entry, because
// readers that look a whole word up take the first entry they find: it must be the one that
// lists the pages whose text holds the word.
bool ChmFullTextIndex::Before(uint32_t a, uint32_t b) const {
  const Entry& x = entries_[a];
  const Entry& y = entries_[b];
  if (const int c = Word(x).compare(Word(y)); c != 0) return c < 0;
  return !x.title && y.title;
}

uint32_t ChmFullTextIndex::FindOrAdd(uint64_t hash, std::string_view word, bool title) {
  const auto folded = static_cast<uint32_t>(hash ^ hash >> 32);
  if ((entries_.size() + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(1024, old.size() * 2), {0, kNoEntry});
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.entry == kNoEntry) continue;
      size_t i = slot.hash & mask;
      while (slots_[i].entry != kNoEntry)
        i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }
  const size_t mask = slots_.size() - 1;
  for (size_t i = folded & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.entry == kNoEntry) {
      slot = {folded, static_cast<uint32_t>(entries_.size())};
      entries_.push_back({static_cast<uint32_t>(words_.size()), static_cast<uint8_t>(word.size()),
                          title, 0, 0, 0});
      words_ += word;
      return slot.entry;
    }
    if (slot.hash == folded) {
      const Entry& entry = entries_[slot.entry];
      if (entry.title == title && Word(entry) == word) return slot.entry;
    }
  }
}

void ChmFullTextIndex::AddPage(uint32_t topic, const PageWordGroups& page) {
  ++pages_;
  const FullTextLists::Before before = [this](uint32_t a, uint32_t b) { return Before(a, b); };
  for (const PageWordGroup& group : page.groups) {
    const std::string_view word = page.Text(group);
    const uint32_t index = FindOrAdd(group.hash, word, group.title);
    Entry& entry = entries_[index];
    piece_.clear();
    FullTextBitWriter bits(piece_);
    bits.PutSrCode(topic - entry.last_topic, kTopicRoot);
    bits.PutSrCode(group.count, kCountRoot);
    uint32_t previous = 0;
    for (uint32_t i = 0; i < group.count; ++i) {
      const uint32_t location = page.locations[group.first_location + i];
      bits.PutSrCode(location - previous, kLocationRoot);
      previous = location;
    }
    bits.Flush();
    entry.list_bytes += static_cast<uint32_t>(piece_.size());
    lists_.Append(index, piece_, before);
    entry.last_topic = topic;
    ++entry.topics;
    occurrences_ += group.count;
    occurrence_bytes_ += uint64_t{group.count} * word.size();
  }
}

std::vector<uint8_t> ChmFullTextIndex::Build() {
  std::vector<uint8_t> file;
  Write([&](std::span<const uint8_t> bytes) {
    file.insert(file.end(), bytes.begin(), bytes.end());
    return true;
  });
  return file;
}

bool ChmFullTextIndex::Write(const std::function<bool(std::span<const uint8_t>)>& out) {
  slots_ = {};  // no page is added any more
  std::vector<uint32_t> order(entries_.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return Before(a, b); });

  // The layout first: the header, then each leaf preceded by the location lists of its entries,
  // the leaves chained in word order, then the index nodes. Only the nodes are held; the lists
  // are written from the entries and released one by one.
  struct Leaf {
    std::vector<uint8_t> bytes;
    size_t end;  // entries order[previous leaf's end, end) are in this leaf
  };
  std::vector<Leaf> leaves;
  uint64_t size = kHeaderSize;
  std::vector<Child> level;
  size_t longest = 0;
  uint64_t entry_bytes = 0;

  Node leaf;
  leaf.bytes.assign(kLeafHeader, 0);
  bool leaf_empty = true;
  auto write_leaf = [&](size_t end) {
    const size_t free = kNodeSize - leaf.bytes.size();
    SetU16(leaf.bytes, 6, static_cast<uint32_t>(free));
    leaf.bytes.resize(kNodeSize, 0);
    if (!leaves.empty()) SetU32(leaves.back().bytes, 0, static_cast<uint32_t>(size));
    level.push_back({leaf.last, static_cast<uint32_t>(size)});
    leaves.push_back({std::move(leaf.bytes), end});
    size += kNodeSize;
    return free;
  };
  for (size_t i = 0; i < order.size(); ++i) {
    const Entry& entry = entries_[order[i]];
    const std::string_view word = Word(entry);
    auto entry_size = [&](size_t prefix) {
      return 2 + word.size() - prefix + 1 + VarintSize(entry.topics) + 4 + 2 +
             VarintSize(entry.list_bytes);
    };
    size_t prefix = leaf_empty ? 0 : SharedPrefix(leaf.last, word);
    if (!leaf_empty && leaf.bytes.size() + entry_size(prefix) > kNodeSize) {
      write_leaf(i);
      leaf.bytes.assign(kLeafHeader, 0);
      prefix = 0;
    }
    const uint64_t wlc_offset = size;
    size += entry.list_bytes;
    std::vector<uint8_t>& bytes = leaf.bytes;
    bytes.push_back(static_cast<uint8_t>(word.size() - prefix + 1));
    bytes.push_back(static_cast<uint8_t>(prefix));
    bytes.insert(bytes.end(), word.begin() + static_cast<ptrdiff_t>(prefix), word.end());
    bytes.push_back(entry.title ? kTitleContext : kBodyContext);
    PutVarint(bytes, entry.topics);
    PutU32(bytes, static_cast<uint32_t>(wlc_offset));
    PutU16(bytes, 0);
    PutVarint(bytes, entry.list_bytes);
    leaf.last = word;
    leaf_empty = false;
    longest = std::max(longest, word.size());
    entry_bytes += word.size();
  }
  const size_t last_leaf_free = write_leaf(order.size());
  const uint32_t leaf_count = static_cast<uint32_t>(level.size());

  // Index levels, bottom up; each key is the last word below its child.
  std::vector<uint8_t> index_nodes;
  uint16_t depth = 1;
  while (level.size() > 1) {
    std::vector<Child> upper;
    Node node;
    node.bytes.assign(kIndexHeader, 0);
    bool node_empty = true;
    auto write_node = [&] {
      SetU16(node.bytes, 0, static_cast<uint32_t>(kNodeSize - node.bytes.size()));
      node.bytes.resize(kNodeSize, 0);
      upper.push_back({node.last, static_cast<uint32_t>(size)});
      index_nodes.insert(index_nodes.end(), node.bytes.begin(), node.bytes.end());
      size += kNodeSize;
    };
    for (const Child& child : level) {
      size_t prefix = node_empty ? 0 : SharedPrefix(node.last, child.last);
      if (!node_empty && node.bytes.size() + 2 + child.last.size() - prefix + 6 > kNodeSize) {
        write_node();
        node.bytes.assign(kIndexHeader, 0);
        prefix = 0;
      }
      node.bytes.push_back(static_cast<uint8_t>(child.last.size() - prefix + 1));
      node.bytes.push_back(static_cast<uint8_t>(prefix));
      node.bytes.insert(node.bytes.end(), child.last.begin() + static_cast<ptrdiff_t>(prefix),
                        child.last.end());
      PutU32(node.bytes, child.offset);
      PutU16(node.bytes, 0);
      node.last = child.last;
      node_empty = false;
    }
    write_node();
    level = std::move(upper);
    ++depth;
  }
  const uint32_t root = level.front().offset;

  std::vector<uint8_t> file(kHeaderSize, 0);
  file[2] = 0x28;  // signature 00 00 28 00
  SetU32(file, 0x04, pages_);
  SetU32(file, 0x08, root);
  SetU32(file, 0x10, leaf_count);
  SetU32(file, 0x14, root);
  SetU16(file, 0x18, depth);
  SetU32(file, 0x1A, 7);
  const uint8_t codes[] = {2, kTopicRoot, 2, kCountRoot, 2, kLocationRoot};
  std::copy(std::begin(codes), std::end(codes), file.begin() + 0x1E);
  SetU32(file, 0x2E, kNodeSize);
  SetU32(file, 0x36, 1);
  SetU32(file, 0x3A, 5);
  SetU32(file, 0x3E, static_cast<uint32_t>(longest));
  SetU32(file, 0x42, static_cast<uint32_t>(occurrences_));
  SetU32(file, 0x46, static_cast<uint32_t>(entries_.size()));
  for (int i = 0; i < 8; ++i)
    file[0x4A + i] = static_cast<uint8_t>(occurrence_bytes_ >> (8 * i));
  SetU32(file, 0x52, static_cast<uint32_t>(entry_bytes));
  SetU32(file, 0x56, static_cast<uint32_t>(last_leaf_free));
  SetU32(file, 0x5E, pages_ == 0 ? 0 : pages_ - 1);
  SetU32(file, 0x7A, kCodePage);
  SetU32(file, 0x7E, lcid_);
  if (!out(file)) return false;

  size_t next = 0;
  for (Leaf& node : leaves) {
    for (; next < node.end; ++next) {
      if (!lists_.Read(order[next], out)) return false;
    }
    if (!out(node.bytes)) return false;
    std::vector<uint8_t>().swap(node.bytes);
  }
  return out(index_nodes);
}

}  // namespace corvina::chm
