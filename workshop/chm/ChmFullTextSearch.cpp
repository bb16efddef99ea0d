#include "workshop/chm/ChmFullTextSearch.h"

#include <algorithm>
#include <limits>

#include "workshop/chm/ChmFullTextWords.h"

namespace corvina::chm {
namespace {

constexpr size_t kHeaderSize = 0x400;
constexpr uint32_t kSignature = 0x00280000;  // bytes 00 00 28 00
constexpr uint16_t kMaxDepth = 16;
constexpr uint32_t kMinNodeSize = 64;
constexpr uint32_t kMaxNodeSize = 1 << 16;
constexpr int kMaxRoot = 24;

uint32_t U32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

uint16_t U16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1])
                                                                     << 8);
}

// Reads the fields of one node entry in turn; any field past `end` fails the cursor.
class Cursor {
 public:
  Cursor(std::string_view bytes, size_t at, size_t end) : bytes_(bytes), at_(at), end_(end) {}

  bool ok() const { return ok_; }
  bool more() const { return ok_ && at_ < end_; }

  uint8_t Byte() {
    if (!Has(1)) return 0;
    return static_cast<uint8_t>(bytes_[at_++]);
  }
  uint32_t Dword() {
    if (!Has(4)) return 0;
    const uint32_t value = U32(bytes_, at_);
    at_ += 4;
    return value;
  }
  void Skip(size_t count) {
    if (Has(count)) at_ += count;
  }
  std::string_view Bytes(size_t count) {
    if (!Has(count)) return {};
    const std::string_view out = bytes_.substr(at_, count);
    at_ += count;
    return out;
  }
  // Seven bits a byte, the lowest group first.
  uint32_t Varint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      const uint8_t byte = Byte();
      if (!ok_) return 0;
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) {
        if (value > std::numeric_limits<uint32_t>::max()) break;
        return static_cast<uint32_t>(value);
      }
    }
    ok_ = false;
    return 0;
  }
  // A word stored as (suffix length + 1, prefix length, suffix), rebuilt from `previous`.
  bool Word(std::string& previous) {
    const uint8_t suffix_plus_one = Byte();
    const uint8_t prefix = Byte();
    if (!ok_ || suffix_plus_one == 0 || prefix > previous.size()) return ok_ = false;
    const std::string_view suffix = Bytes(suffix_plus_one - 1u);
    if (!ok_) return false;
    previous.resize(prefix);
    previous += suffix;
    return true;
  }

 private:
  bool Has(size_t count) {
    if (ok_ && at_ <= end_ && end_ - at_ >= count) return true;
    ok_ = false;
    return false;
  }

  std::string_view bytes_;
  size_t at_;
  size_t end_;
  bool ok_ = true;
};

// Bits read most significant first.
class BitReader {
 public:
  explicit BitReader(std::string_view bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  uint32_t Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      if (bit_ >= bytes_.size() * 8) {
        ok_ = false;
        return 0;
      }
      const uint8_t byte = static_cast<uint8_t>(bytes_[bit_ / 8]);
      value = value << 1 | ((byte >> (7 - bit_ % 8)) & 1);
      ++bit_;
    }
    return value;
  }
  // The scale-2 code with root `root`.
  uint32_t SrCode(int root) {
    int ones = 0;
    while (ok_ && Bits(1) == 1) {
      if (++ones + root > 32) ok_ = false;
    }
    if (!ok_) return 0;
    if (ones == 0) return Bits(root);
    const int width = root + ones - 1;
    const uint64_t value = (uint64_t{1} << width) + Bits(width);
    if (value > std::numeric_limits<uint32_t>::max()) ok_ = false;
    return static_cast<uint32_t>(value);
  }
  void Align() { bit_ = (bit_ + 7) / 8 * 8; }

 private:
  std::string_view bytes_;
  size_t bit_ = 0;
  bool ok_ = true;
};

}  // namespace

ChmFullTextReader::ChmFullTextReader(std::string_view index) : index_(index) {
  if (index.size() < kHeaderSize || U32(index, 0) != kSignature) return;
  root_ = U32(index, 0x08);
  depth_ = U16(index, 0x18);
  node_size_ = U32(index, 0x2E);
  const auto root = [&](size_t at, int& out) {
    out = static_cast<uint8_t>(index[at + 1]);
    return static_cast<uint8_t>(index[at]) == 2 && out >= 1 && out <= kMaxRoot;
  };
  valid_ = depth_ >= 1 && depth_ <= kMaxDepth && node_size_ >= kMinNodeSize &&
           node_size_ <= kMaxNodeSize && root_ >= kHeaderSize && root_ <= index.size() &&
           index.size() - root_ >= node_size_ && root(0x1E, topic_root_) &&
           root(0x20, count_root_) && root(0x22, location_root_);
}

// Goes down the index nodes into the first child whose last word is not below `word`.
std::optional<uint32_t> ChmFullTextReader::FindLeaf(std::string_view word) const {
  uint32_t node = root_;
  for (uint16_t level = 1; level < depth_; ++level) {
    const uint16_t free = U16(index_, node);
    if (free > node_size_ - 2) return std::nullopt;
    size_t start = node + 2;
    // Some compilers leave two zero bytes before the entries of later nodes of a level.
    if (index_[start] == 0 && index_[start + 1] == 0) start += 2;
    Cursor cursor(index_, start, node + node_size_ - free);
    std::string key;
    std::optional<uint32_t> child;
    while (cursor.more()) {
      if (!cursor.Word(key)) return std::nullopt;
      const uint32_t offset = cursor.Dword();
      cursor.Skip(2);
      if (!cursor.ok()) return std::nullopt;
      if (key >= word) {
        child = offset;
        break;
      }
    }
    if (!child || *child < kHeaderSize || *child > index_.size() ||
        index_.size() - *child < node_size_) {
      return std::nullopt;
    }
    node = *child;
  }
  return node;
}

void ChmFullTextReader::ReadLocations(uint32_t offset, uint32_t length, uint32_t topics,
                                      std::vector<uint32_t>& out) const {
  if (offset > index_.size() || index_.size() - offset < length) return;
  BitReader bits(index_.substr(offset, length));
  uint64_t topic = 0;
  for (uint32_t i = 0; i < topics; ++i) {
    topic += bits.SrCode(topic_root_);
    const uint32_t count = bits.SrCode(count_root_);
    for (uint32_t k = 0; k < count && bits.ok(); ++k)
      bits.SrCode(location_root_);
    if (!bits.ok() || topic > std::numeric_limits<uint32_t>::max()) return;
    out.push_back(static_cast<uint32_t>(topic));
    bits.Align();
  }
}

std::vector<uint32_t> ChmFullTextReader::Topics(std::string_view word) const {
  std::vector<uint32_t> found;
  if (!valid_ || word.empty()) return found;
  std::optional<uint32_t> leaf = FindLeaf(word);
  // A word's entries may run on into the next leaf; no chain is longer than the file allows.
  for (size_t walked = 0; leaf && walked <= index_.size() / node_size_; ++walked) {
    const uint32_t node = *leaf;
    const uint16_t free = U16(index_, node + 6);
    if (free > node_size_ - 8) break;
    Cursor cursor(index_, node + 8, node + node_size_ - free);
    std::string entry_word;
    bool past = false;
    while (cursor.more() && !past) {
      if (!cursor.Word(entry_word)) return found;
      cursor.Skip(1);  // context: title or body
      const uint32_t topics = cursor.Varint();
      const uint32_t offset = cursor.Dword();
      cursor.Skip(2);
      const uint32_t length = cursor.Varint();
      if (!cursor.ok()) return found;
      if (entry_word == word) {
        ReadLocations(offset, length, topics, found);
      } else {
        past = entry_word > word;
      }
    }
    if (past) break;
    const uint32_t next = U32(index_, node);
    leaf.reset();
    if (next >= kHeaderSize && next <= index_.size() && index_.size() - next >= node_size_) {
      leaf = next;
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

std::vector<std::string> FullTextQueryWords(std::string_view query) {
  // Read as the text of a page, so that the words come out as the index stores them.
  std::string page = "<html><body>";
  for (char c : query) {
    if (c == '<') {
      page += "&lt;";
    } else if (c == '&') {
      page += "&amp;";
    } else {
      page += c;
    }
  }
  page += "</body></html>";
  const PageWords words = ExtractPageWords(page);
  std::vector<std::string> out;
  for (const PageWord& word : words.words) {
    std::string text(words.Text(word));
    if (std::find(out.begin(), out.end(), text) == out.end()) out.push_back(std::move(text));
  }
  return out;
}

namespace {

// The NUL-terminated text at `offset`, when it lies in `bytes`.
std::optional<std::string> TextAt(std::string_view bytes, uint64_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  const std::string_view rest = bytes.substr(offset);
  return std::string(rest.substr(0, rest.find('\0')));
}

}  // namespace

std::optional<ChmTopic> FindTopic(uint32_t topic, std::string_view topics, std::string_view urltbl,
                                  std::string_view urlstr, std::string_view strings) {
  constexpr size_t kTopicEntry = 16;
  constexpr size_t kUrlEntry = 12;
  constexpr uint32_t kNoTitle = 0xFFFFFFFF;
  if (topics.size() / kTopicEntry <= topic) return std::nullopt;
  const size_t at = topic * kTopicEntry;
  const uint32_t title = U32(topics, at + 4);
  const uint32_t url_entry = U32(topics, at + 8);
  if (url_entry > urltbl.size() || urltbl.size() - url_entry < kUrlEntry) return std::nullopt;
  std::optional<std::string> page = TextAt(urlstr, uint64_t{U32(urltbl, url_entry + 8)} + 8);
  if (!page || page->empty()) return std::nullopt;
  ChmTopic out{std::move(*page), {}};
  if (title != kNoTitle && title != 0) out.title = TextAt(strings, title).value_or("");
  return out;
}

}  // namespace corvina::chm
