#include "workshop/chm/LzxHuffman.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace corvina::chm {
namespace {

// Plain Huffman lengths (no limit) by the two-queue method over counts sorted ascending.
int HuffmanLengths(const std::vector<std::pair<uint32_t, int>>& sorted,
                   std::vector<uint8_t>& depth) {
  const size_t n = sorted.size();
  // Nodes 0..n-1 are leaves, n.. are internal nodes created in ascending weight order.
  std::vector<uint64_t> weight(2 * n);
  std::vector<int> parent(2 * n, -1);
  for (size_t i = 0; i < n; ++i)
    weight[i] = sorted[i].first;
  size_t leaf = 0, internal = n, next = n;
  auto take = [&]() {
    if (leaf < n && (internal >= next || weight[leaf] <= weight[internal])) return leaf++;
    return internal++;
  };
  while (next < 2 * n - 1) {
    const size_t a = take();
    const size_t b = take();
    weight[next] = weight[a] + weight[b];
    parent[a] = parent[b] = static_cast<int>(next);
    ++next;
  }
  std::vector<int> node_depth(2 * n, 0);
  int max_depth = 0;
  for (size_t i = 2 * n - 2; i-- > 0;) {
    node_depth[i] = node_depth[parent[i]] + 1;
    if (i < n) max_depth = std::max(max_depth, node_depth[i]);
  }
  depth.assign(n, 0);
  for (size_t i = 0; i < n; ++i)
    depth[i] = static_cast<uint8_t>(node_depth[i]);
  return max_depth;
}

}  // namespace

void BuildHuffmanLengths(std::span<const uint32_t> counts, int max_length,
                         std::span<uint8_t> lengths) {
  assert(lengths.size() == counts.size());
  std::fill(lengths.begin(), lengths.end(), 0);
  std::vector<std::pair<uint32_t, int>> used;
  for (size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] != 0) used.emplace_back(counts[i], static_cast<int>(i));
  }
  if (used.empty()) return;
  if (used.size() == 1) {
    lengths[used[0].second] = 1;
    lengths[used[0].second == 0 ? 1 : 0] = 1;
    return;
  }
  std::vector<uint8_t> depth;
  for (;;) {
    std::sort(used.begin(), used.end());
    if (HuffmanLengths(used, depth) <= max_length) break;
    // Too deep: flatten the distribution and try again.
    for (auto& [count, symbol] : used)
      count = std::max<uint32_t>(1, count >> 1);
  }
  for (size_t i = 0; i < used.size(); ++i)
    lengths[used[i].second] = depth[i];
}

void BuildHuffmanCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes) {
  uint32_t length_count[33] = {};
  for (uint8_t length : lengths)
    ++length_count[length];
  length_count[0] = 0;
  uint32_t next_code[33] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= 32; ++bits) {
    code = (code + length_count[bits - 1]) << 1;
    next_code[bits] = code;
  }
  for (size_t i = 0; i < lengths.size(); ++i) {
    codes[i] = lengths[i] ? static_cast<uint16_t>(next_code[lengths[i]]++) : 0;
  }
}

}  // namespace corvina::chm
