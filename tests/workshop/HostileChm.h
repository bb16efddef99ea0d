#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Builds small .chm files byte by byte, so that tests can give a reader exactly the damage
// they want: listing (PMGL) and index (PMGI) chunks of any size and content, a root of any
// number, and section 0 data that any number of names may point into.
namespace corvina::hostile_chm {

inline void PutU32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>(value >> (8 * i));
}
inline void PutU64(std::string& out, uint64_t value) {
  for (int i = 0; i < 8; ++i)
    out += static_cast<char>(value >> (8 * i));
}
inline void SetU32(std::string& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = static_cast<char>(value >> (8 * i));
}
inline void SetU64(std::string& out, size_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i)
    out[at + i] = static_cast<char>(value >> (8 * i));
}
inline uint32_t GetU32(const std::string& in, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<uint8_t>(in[at + i]);
  return value;
}
inline uint64_t GetU64(const std::string& in, size_t at) {
  return uint64_t{GetU32(in, at)} | uint64_t{GetU32(in, at + 4)} << 32;
}
inline void PutEncint(std::string& out, uint64_t value) {
  std::string groups(1, static_cast<char>(value & 0x7F));
  while ((value >>= 7) != 0)
    groups.insert(groups.begin(), static_cast<char>(0x80 | (value & 0x7F)));
  out += groups;
}

// One name of a listing chunk and the place of its bytes in section 0.
struct Entry {
  std::string name;
  uint64_t start = 0;
  uint64_t length = 0;
  int space = 0;
};

inline std::string ListingChunk(const std::vector<Entry>& entries, uint32_t chunk_size) {
  std::string body;
  for (const Entry& entry : entries) {
    PutEncint(body, entry.name.size());
    body += entry.name;
    PutEncint(body, static_cast<uint64_t>(entry.space));
    PutEncint(body, entry.start);
    PutEncint(body, entry.length);
  }
  std::string chunk = "PMGL";
  PutU32(chunk, static_cast<uint32_t>(chunk_size - 0x14 - body.size()));
  PutU32(chunk, 0);
  PutU32(chunk, 0xFFFFFFFF);
  PutU32(chunk, 0xFFFFFFFF);
  chunk += body;
  chunk.resize(chunk_size, '\0');
  return chunk;
}

// Entries: the first name of a chunk below and that chunk's number.
inline std::string IndexChunk(const std::vector<std::pair<std::string, uint64_t>>& entries,
                              uint32_t chunk_size) {
  std::string body;
  for (const auto& [name, child] : entries) {
    PutEncint(body, name.size());
    body += name;
    PutEncint(body, child);
  }
  std::string chunk = "PMGI";
  PutU32(chunk, static_cast<uint32_t>(chunk_size - 0x08 - body.size()));
  chunk += body;
  chunk.resize(chunk_size, '\0');
  return chunk;
}

struct Layout {
  std::vector<std::string> chunks;
  uint32_t chunk_size = 4096;
  int32_t root = -1;  // the top index chunk; -1: none
  std::string data;   // section 0
};

// A version 3 file: ITSF header, header section, ITSP directory, section 0.
inline std::string Build(const Layout& layout) {
  constexpr uint64_t kItsf = 0x60;
  constexpr uint64_t kSection0 = 0x18;
  constexpr uint64_t kItsp = 0x54;
  const uint64_t directory = kItsf + kSection0;
  const uint64_t directory_length = kItsp + layout.chunks.size() * uint64_t{layout.chunk_size};
  const uint64_t data = directory + directory_length;

  std::string out = "ITSF";
  PutU32(out, 3);
  PutU32(out, static_cast<uint32_t>(kItsf));
  PutU32(out, 1);
  PutU32(out, 0);
  PutU32(out, 0x409);
  out += std::string("\x10\xfd\x01\x7c\xaa\x7b\xd0\x11\x9e\x0c\x00\xa0\xc9\x22\xe6\xec", 16);
  out += std::string("\x11\xfd\x01\x7c\xaa\x7b\xd0\x11\x9e\x0c\x00\xa0\xc9\x22\xe6\xec", 16);
  PutU64(out, kItsf);
  PutU64(out, kSection0);
  PutU64(out, directory);
  PutU64(out, directory_length);
  PutU64(out, data);
  PutU32(out, 0x01FE);
  PutU32(out, 0);
  PutU64(out, data + layout.data.size());
  PutU64(out, 0);

  out += "ITSP";
  PutU32(out, 1);
  PutU32(out, static_cast<uint32_t>(kItsp));
  PutU32(out, 0x0A);
  PutU32(out, layout.chunk_size);
  PutU32(out, 2);
  PutU32(out, layout.root == -1 ? 1 : 2);
  PutU32(out, static_cast<uint32_t>(layout.root));
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(layout.chunks.size() - 1));
  PutU32(out, 0xFFFFFFFF);
  PutU32(out, static_cast<uint32_t>(layout.chunks.size()));
  PutU32(out, 0x409);
  out += std::string("\x6a\x92\x02\x5d\x2e\x21\xd0\x11\x9d\xf9\x00\xa0\xc9\x22\xe6\xec", 16);
  PutU32(out, 0x54);
  PutU32(out, 0xFFFFFFFF);
  PutU32(out, 0xFFFFFFFF);
  PutU32(out, 0xFFFFFFFF);
  for (const std::string& chunk : layout.chunks)
    out += chunk;
  out += layout.data;
  return out;
}

// A file whose names each hold their own bytes in section 0, in one listing chunk.
inline std::string WithFiles(const std::vector<std::pair<std::string, std::string>>& files,
                             uint32_t chunk_size = 4096) {
  Layout layout;
  layout.chunk_size = chunk_size;
  std::vector<Entry> entries;
  for (const auto& [name, bytes] : files) {
    entries.push_back({name, layout.data.size(), bytes.size()});
    layout.data += bytes;
  }
  layout.chunks.push_back(ListingChunk(entries, chunk_size));
  return Build(layout);
}

// Where a listed name's bytes start in the file, for a file whose directory lists it in a
// well-formed listing chunk; npos when it is not listed.
inline size_t FileOffsetOf(const std::string& chm, std::string_view name) {
  const uint64_t directory = GetU64(chm, 0x48);
  const uint64_t data = GetU32(chm, 4) == 3 ? GetU64(chm, 0x58) : directory + GetU64(chm, 0x50);
  const uint32_t chunk_size = GetU32(chm, directory + 0x10);
  const uint32_t count = GetU32(chm, directory + 0x2C);
  auto encint = [&](size_t& at) {
    uint64_t value = 0;
    while (true) {
      const uint8_t byte = static_cast<uint8_t>(chm[at++]);
      value = value << 7 | (byte & 0x7F);
      if (byte < 0x80) return value;
    }
  };
  for (uint32_t k = 0; k < count; ++k) {
    const size_t chunk = directory + 0x54 + size_t{k} * chunk_size;
    if (chm.compare(chunk, 4, "PMGL") != 0) continue;
    size_t at = chunk + 0x14;
    const size_t end = chunk + chunk_size - GetU32(chm, chunk + 4);
    while (at < end) {
      const uint64_t length = encint(at);
      const std::string listed = chm.substr(at, length);
      at += length;
      encint(at);
      const uint64_t start = encint(at);
      encint(at);
      if (listed == name) return data + start;
    }
  }
  return std::string::npos;
}

}  // namespace corvina::hostile_chm
