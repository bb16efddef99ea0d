#include "workshop/chm/ChmSystemFiles.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <tuple>

#include "workshop/chm/ChmBytes.h"
#include "workshop/chm/ChmDirectory.h"

namespace corvina::chm {
namespace {

// #URLTBL: 12-byte entries, as many as fit a block, and the block's last four bytes zero.
constexpr size_t kUrlTblEntrySize = 12;
constexpr size_t kUrlTblEntriesPerBlock = (kChmTableBlockSize - 4) / kUrlTblEntrySize;
constexpr size_t kTopicEntrySize = 16;
constexpr uint32_t kNoTitle = 0xFFFFFFFF;
constexpr uint16_t kTopicInContents = 6;
constexpr uint16_t kTopicNotInContents = 2;
// #SYSTEM record lengths are 16 bits.
constexpr size_t kMaxSystemRecord = 0xFFFF;

// Pads `out` with zeros to the next block when `record` bytes would cross a block boundary.
void KeepInBlock(std::vector<uint8_t>& out, size_t record) {
  const size_t used = out.size() % kChmTableBlockSize;
  if (record <= kChmTableBlockSize && used + record > kChmTableBlockSize) {
    out.resize(out.size() + kChmTableBlockSize - used, 0);
  }
}

uint32_t Number(const std::vector<std::string>& fields, size_t index) {
  if (index >= fields.size() || fields[index].empty()) return 0;
  return static_cast<uint32_t>(std::strtoul(fields[index].c_str(), nullptr, 0));
}

bool Has(const std::vector<std::string>& fields, size_t index) {
  return index < fields.size() && !fields[index].empty();
}

void PutRecord(std::vector<uint8_t>& out, uint32_t code, const std::vector<uint8_t>& data) {
  PutU16(out, code);
  PutU16(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

// A text record; a text too long for the record's 16-bit length is refused, not cut.
Status PutText(std::vector<uint8_t>& out, uint32_t code, std::string_view text,
               std::string_view what) {
  if (text.size() + 1 > kMaxSystemRecord) {
    return Error{kErrInvalidArgument, std::string(what) + " too long for a .chm (" +
                                          std::to_string(text.size()) + " bytes, at most " +
                                          std::to_string(kMaxSystemRecord - 1) + ")"};
  }
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  PutRecord(out, code, data);
  return Status::Ok();
}

void PutDword(std::vector<uint8_t>& out, uint32_t code, uint32_t value) {
  std::vector<uint8_t> data;
  PutU32(data, value);
  PutRecord(out, code, data);
}

}  // namespace

uint32_t ChmStringPool::Add(std::string_view text) {
  if (text.empty()) return 0;
  const std::hash<std::string_view> hash;
  const size_t text_hash = hash(text);
  const uint32_t found =
      offsets_.Find(text_hash, [&](uint32_t offset) { return At(offset) == text; });
  if (found != ChmNumberSlots::kNone) return found;
  ReserveGrowingByQuarter(bytes_, kChmTableBlockSize + text.size() + 1);
  KeepInBlock(bytes_, text.size() + 1);
  const uint32_t offset = static_cast<uint32_t>(bytes_.size());
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
  offsets_.Add(offset, text_hash, [&](uint32_t held) { return hash(At(held)); });
  return offset;
}

bool ParseWindowDefinition(std::string_view line, ChmWindowDefinition& window) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view name = line.substr(0, equals);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
    name.remove_suffix(1);
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
    name.remove_prefix(1);
  if (name.empty()) return false;
  window.name = std::string(name);
  window.fields.clear();
  // Commas inside double quotes or inside "[...]" do not separate fields.
  std::string field;
  bool quoted = false;
  int brackets = 0;
  for (char c : line.substr(equals + 1)) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == '[') {
      ++brackets;
      field += c;
    } else if (!quoted && c == ']') {
      brackets = std::max(0, brackets - 1);
      field += c;
    } else if (!quoted && brackets == 0 && c == ',') {
      window.fields.push_back(field);
      field.clear();
    } else if (quoted || (c != ' ' && c != '\t' && c != '\r' && c != '\n')) {
      field += c;
    }
  }
  window.fields.push_back(field);
  return true;
}

std::vector<uint8_t> BuildWindowsFile(const std::vector<ChmWindowDefinition>& windows,
                                      ChmStringPool& strings) {
  constexpr uint32_t kEntrySize = 196;
  std::vector<uint8_t> out;
  PutU32(out, static_cast<uint32_t>(windows.size()));
  PutU32(out, kEntrySize);
  for (const ChmWindowDefinition& window : windows) {
    const std::vector<std::string>& f = window.fields;
    auto text = [&](size_t index) { return index < f.size() ? strings.Add(f[index]) : 0u; };
    std::vector<uint8_t> e(kEntrySize, 0);
    // Which optional fields the definition sets.
    uint32_t valid = 0;
    const std::pair<size_t, uint32_t> flags[] = {{9, 0x2},    {13, 0x4},   {14, 0x8},   {12, 0x10},
                                                 {10, 0x20},  {15, 0x40},  {11, 0x100}, {16, 0x200},
                                                 {18, 0x400}, {17, 0x2000}};
    for (const auto& [index, bit] : flags) {
      if (Has(f, index)) valid |= bit;
    }
    SetU32(e, 0x00, kEntrySize);
    SetU32(e, 0x08, strings.Add(window.name));
    SetU32(e, 0x0C, valid);
    SetU32(e, 0x10, Number(f, 9));
    SetU32(e, 0x14, text(0));
    SetU32(e, 0x18, Number(f, 13));
    SetU32(e, 0x1C, Number(f, 14));
    if (Has(f, 12)) {
      // "[left,top,right,bottom]"
      std::string rect = f[12];
      std::replace(rect.begin(), rect.end(), '[', ' ');
      char* cursor = rect.data();
      for (int i = 0; i < 4 && *cursor; ++i) {
        char* end = nullptr;
        const long value = std::strtol(cursor, &end, 0);
        if (end == cursor) break;
        SetU32(e, 0x20 + 4 * i, static_cast<uint32_t>(value));
        cursor = end;
        while (*cursor == ',' || *cursor == ' ')
          ++cursor;
      }
    }
    SetU32(e, 0x30, Number(f, 15));
    SetU32(e, 0x4C, Number(f, 10));
    SetU32(e, 0x60, text(1));
    SetU32(e, 0x64, text(2));
    SetU32(e, 0x68, text(3));
    SetU32(e, 0x6C, text(4));
    SetU32(e, 0x70, Number(f, 11));
    SetU32(e, 0x74, Number(f, 16));
    SetU32(e, 0x78, Number(f, 17));
    SetU32(e, 0x7C, Number(f, 18));
    SetU32(e, 0x80, Number(f, 19));
    SetU32(e, 0x9C, text(5));
    SetU32(e, 0xA0, text(7));
    SetU32(e, 0xA4, text(6));
    SetU32(e, 0xA8, text(8));
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

uint32_t ChmUrlHash(std::string_view url) {
  uint32_t hash = 0;
  for (char raw : url) {
    const signed char c = static_cast<signed char>(raw == '\\' ? '/' : raw);
    int value;
    if (c == '/') {
      value = 0x2C;
    } else if (c <= 'Z') {
      value = c - 0x30;
    } else {
      value = c - 0x50;
    }
    hash = hash * 43 + static_cast<uint32_t>(value);
  }
  return hash == 0 ? 1 : hash;
}

namespace {

size_t WithTitle(size_t path_hash, uint32_t title) {
  return (path_hash ^ title) * 0x9E3779B97F4A7C15ull;
}

}  // namespace

std::string_view ChmTopicTable::PathOf(const Topic& topic) const {
  return {reinterpret_cast<const char*>(urlstr_.data()) + topic.urlstr + 8, topic.path_length};
}

size_t ChmTopicTable::HashOf(const Topic& topic, bool with_title) const {
  const size_t hash = ChmNameHash()(PathOf(topic));
  return with_title ? WithTitle(hash, topic.title) : hash;
}

void ChmTopicTable::Insert(ChmNumberSlots& table, uint32_t topic, bool with_title) {
  const Topic& added = topics_[topic];
  const std::string_view path = PathOf(added);
  const size_t hash = HashOf(added, with_title);
  const uint32_t first = table.Find(hash, [&](uint32_t other) {
    return (!with_title || topics_[other].title == added.title) &&
           ChmNameEqual()(PathOf(topics_[other]), path);
  });
  if (first != ChmNumberSlots::kNone) return;  // the first topic stays
  table.Add(topic, hash, [&](uint32_t held) { return HashOf(topics_[held], with_title); });
}

uint32_t ChmTopicTable::Add(std::string_view path, std::string_view title, bool in_contents,
                            ChmStringPool& strings) {
  // #URLSTR: per topic two empty URL fields and the local name.
  ReserveGrowingByQuarter(urlstr_, kChmTableBlockSize + 8 + path.size() + 1);
  KeepInBlock(urlstr_, 8 + path.size() + 1);
  const uint32_t urlstr = static_cast<uint32_t>(urlstr_.size());
  PutU32(urlstr_, 0);
  PutU32(urlstr_, 0);
  PutBytes(urlstr_, path);
  urlstr_.push_back(0);
  const uint32_t title_offset = title.empty() ? kNoTitle : strings.Add(title);
  const uint32_t topic = static_cast<uint32_t>(topics_.size());
  ReserveGrowingByQuarter(topics_, 1);
  topics_.push_back(
      {ChmUrlHash(path), title_offset, urlstr, static_cast<uint32_t>(path.size()), in_contents});
  Insert(by_path_, topic, false);
  Insert(by_path_title_, topic, true);
  return topic;
}

uint32_t ChmTopicTable::FindOrAdd(std::string_view path, std::string_view title, bool in_contents,
                                  ChmStringPool& strings) {
  const uint32_t title_offset = title.empty() ? kNoTitle : strings.Add(title);
  const uint32_t found =
      by_path_title_.Find(WithTitle(ChmNameHash()(path), title_offset), [&](uint32_t topic) {
        return topics_[topic].title == title_offset && ChmNameEqual()(PathOf(topics_[topic]), path);
      });
  if (found != ChmNumberSlots::kNone) return found;
  return Add(path, title, in_contents, strings);
}

std::optional<uint32_t> ChmTopicTable::Find(std::string_view path) const {
  const uint32_t found = by_path_.Find(ChmNameHash()(path), [&](uint32_t topic) {
    return ChmNameEqual()(PathOf(topics_[topic]), path);
  });
  if (found == ChmNumberSlots::kNone) return std::nullopt;
  return found;
}

void ChmTopicTable::SetTocOffset(uint32_t topic, uint32_t offset) {
  if (topics_[topic].toc_offset == 0) topics_[topic].toc_offset = offset;
}

ChmTopicFiles ChmTopicTable::Build() const {
  ChmTopicFiles files;
  files.urlstr = urlstr_;
  BuildTables(files);
  return files;
}

ChmTopicFiles ChmTopicTable::TakeFiles() {
  by_path_ = {};
  by_path_title_ = {};
  ChmTopicFiles files;
  BuildTables(files);
  files.urlstr = std::move(urlstr_);
  *this = ChmTopicTable();
  return files;
}

void ChmTopicTable::BuildTables(ChmTopicFiles& files) const {
  // #URLTBL: entries sorted by hash, whole entries to a block.
  std::vector<uint32_t> order(topics_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return topics_[a].hash < topics_[b].hash; });
  std::vector<uint32_t> urltbl_offsets(topics_.size());
  for (size_t i = 0; i < order.size(); ++i) {
    if (i != 0 && i % kUrlTblEntriesPerBlock == 0) PutU32(files.urltbl, 0);
    const uint32_t topic = order[i];
    urltbl_offsets[topic] = static_cast<uint32_t>(files.urltbl.size());
    PutU32(files.urltbl, topics_[topic].hash);
    PutU32(files.urltbl, topic);
    PutU32(files.urltbl, topics_[topic].urlstr);
  }
  files.topics.reserve(topics_.size() * kTopicEntrySize);
  for (size_t i = 0; i < topics_.size(); ++i) {
    PutU32(files.topics, topics_[i].toc_offset);
    PutU32(files.topics, topics_[i].title);
    PutU32(files.topics, urltbl_offsets[i]);
    PutU16(files.topics, topics_[i].in_contents ? kTopicInContents : kTopicNotInContents);
    PutU16(files.topics, 0);
  }
}

std::vector<uint8_t> BuildIdxHdr(uint32_t topic_count) {
  std::vector<uint8_t> out(kChmTableBlockSize, 0);
  std::copy_n("T#SM", 4, out.begin());
  SetU32(out, 0x04, 1);
  SetU32(out, 0x08, 1);
  SetU32(out, 0x0C, topic_count);
  return out;
}

Result<std::vector<uint8_t>> BuildSystemFile(const ChmSystemInfo& info,
                                             const std::vector<uint8_t>& idxhdr) {
  std::vector<uint8_t> out;
  PutU32(out, 3);
  PutDword(out, 10, 0);  // timestamp, fixed so that builds repeat
  Status status = PutText(out, 9, "HHA Version 4.74.8702", "compiler name");
  std::vector<uint8_t> flags;
  PutU32(flags, info.lcid);
  PutU32(flags, 0);  // DBCS
  PutU32(flags, info.full_text_search ? 1 : 0);
  PutU32(flags, info.binary_index_hash ? 1 : 0);  // keyword links
  PutU32(flags, 0);                               // no associative links
  PutU64(flags, 0);                               // FILETIME
  PutU32(flags, 0);
  PutU32(flags, 0);
  PutRecord(out, 4, flags);
  PutDword(out, 12, 0);  // information types
  PutDword(out, 15, 0);  // information-type checksum
  const std::tuple<uint32_t, const std::string*, const char*> texts[] = {
      {2, &info.default_topic, "default topic"},        {3, &info.title, "title"},
      {0, &info.contents_file, "contents file name"},   {1, &info.index_file, "index file name"},
      {5, &info.default_window, "default window name"}, {6, &info.base_name, "compiled file name"},
  };
  for (const auto& [code, text, what] : texts) {
    if (status.ok() && (code == 3 || !text->empty())) status = PutText(out, code, *text, what);
  }
  if (!status.ok()) return status.error();
  if (info.binary_toc_hash) PutDword(out, 11, *info.binary_toc_hash);
  if (info.binary_index_hash) PutDword(out, 7, *info.binary_index_hash);
  PutRecord(out, 13, idxhdr);
  return out;
}

}  // namespace corvina::chm
