#include "workshop/chm/LzxEncoder.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "workshop/chm/LzxBitWriter.h"
#include "workshop/chm/LzxHuffman.h"
#include "workshop/chm/LzxSlots.h"

namespace corvina::chm {
namespace {

constexpr uint32_t kBlockVerbatim = 1;
constexpr uint32_t kBlockAligned = 2;
constexpr uint32_t kBlockUncompressed = 3;
// Readers refuse a frame whose compressed form exceeds 32768 + 6144 bytes.
constexpr size_t kMaxFrameBytes = kLzxFrameSize + 6144 - 64;
// Field widths of a block header and of the trees' lengths.
constexpr int kBlockTypeBits = 3;
constexpr int kBlockSizeBits = 24;
constexpr int kPretreeLengthBits = 4;
constexpr int kAlignedLengthBits = 3;
// A block never spans more than one reset interval, so its size always fits its field.
static_assert(kLzxResetSize < (uint32_t{1} << kBlockSizeBits));

// Writes the lengths of one tree range as pretree symbols: deltas against the previous
// block's lengths, runs of zeros as 17/18 and short runs of one value as 19.
void WriteTreeRun(LzxBitWriter& writer, const uint8_t* lengths, const uint8_t* old, int count) {
  struct Op {
    uint8_t symbol, extra_bits, extra, follow;
  };
  std::vector<Op> ops;
  ops.reserve(count);
  for (int i = 0; i < count;) {
    int run = 1;
    while (i + run < count && lengths[i + run] == lengths[i])
      ++run;
    if (lengths[i] == 0 && run >= 4) {
      if (run >= 20) {
        run = std::min(run, 51);
        ops.push_back({18, 5, static_cast<uint8_t>(run - 20), 0});
      } else {
        ops.push_back({17, 4, static_cast<uint8_t>(run - 4), 0});
      }
      i += run;
    } else if (run >= 4) {
      run = std::min(run, 5);
      const uint8_t delta = static_cast<uint8_t>((old[i] - lengths[i] + 17) % 17);
      ops.push_back({19, 1, static_cast<uint8_t>(run - 4), delta});
      i += run;
    } else {
      ops.push_back({static_cast<uint8_t>((old[i] - lengths[i] + 17) % 17), 0, 0, 0});
      ++i;
    }
  }
  std::array<uint32_t, kLzxPretreeSize> counts{};
  for (const Op& op : ops) {
    ++counts[op.symbol];
    if (op.symbol == 19) ++counts[op.follow];
  }
  std::array<uint8_t, kLzxPretreeSize> pre_lengths{};
  std::array<uint16_t, kLzxPretreeSize> pre_codes{};
  BuildHuffmanLengths(counts, kLzxMaxPretreeCodeLength, pre_lengths);
  BuildHuffmanCodes(pre_lengths, pre_codes);
  for (uint8_t length : pre_lengths)
    writer.Put(length, kPretreeLengthBits);
  for (const Op& op : ops) {
    writer.Put(pre_codes[op.symbol], pre_lengths[op.symbol]);
    writer.Put(op.extra, op.extra_bits);
    if (op.symbol == 19) writer.Put(pre_codes[op.follow], pre_lengths[op.follow]);
  }
}

std::array<uint32_t, 3> RepeatsAfter(const std::vector<LzxItem>& items, size_t end) {
  std::array<uint32_t, 3> r = {1, 1, 1};
  for (size_t i = 0; i < end; ++i) {
    const LzxItem& item = items[i];
    if (item.length() == 0 || item.value() == 0) continue;
    if (item.value() == 1) {
      std::swap(r[0], r[1]);
    } else if (item.value() == 2) {
      std::swap(r[0], r[2]);
    } else {
      r = {item.value() - 2, r[0], r[1]};
    }
  }
  return r;
}

void WriteUncompressedBlock(std::vector<uint8_t>& out, std::span<const uint8_t> raw, bool reset_bit,
                            const std::array<uint32_t, 3>& repeats) {
  LzxBitWriter writer(out);
  if (reset_bit) writer.Put(0, 1);  // no E8 translation
  assert(raw.size() <= kLzxResetSize);
  writer.Put(kBlockUncompressed, kBlockTypeBits);
  writer.Put(static_cast<uint32_t>(raw.size()), kBlockSizeBits);
  writer.PadForUncompressed();
  for (uint32_t r : repeats) {
    for (int b = 0; b < 4; ++b)
      out.push_back(static_cast<uint8_t>(r >> (8 * b)));
  }
  // Frames are even-sized, so no pad byte follows the raw bytes.
  writer.PutBytes(raw.data(), raw.size());
}

}  // namespace

LzxEncoder::LzxEncoder(LzxParseOptions options) : finder_(options) {}

void LzxEncoder::WriteCompressedBlock(std::vector<uint8_t>& out, size_t first, size_t last,
                                      uint32_t block_size, uint32_t out_pos, bool reset_bit,
                                      uint8_t* old_main, uint8_t* old_length,
                                      std::vector<uint32_t>& frame_offsets) {
  std::array<uint32_t, kLzxMainTreeSize> main_counts{};
  std::array<uint32_t, kLzxLengthTreeSize> length_counts{};
  std::array<uint32_t, kLzxAlignedTreeSize> aligned_counts{};
  for (size_t i = first; i < last; ++i) {
    const LzxItem& item = items_[i];
    if (item.length() == 0) {
      ++main_counts[item.value()];
      continue;
    }
    const int slot = LzxSlotOf(item.value());
    const uint32_t header = std::min<uint32_t>(item.length() - 2, 7);
    ++main_counts[256 + slot * 8 + header];
    if (header == 7) ++length_counts[item.length() - 9];
    if (kLzxFooterBits[slot] >= 3) ++aligned_counts[(item.value() - kLzxSlotBase[slot]) & 7];
  }
  std::array<uint8_t, kLzxMainTreeSize> main_lengths{};
  std::array<uint8_t, kLzxLengthTreeSize> length_lengths{};
  std::array<uint8_t, kLzxAlignedTreeSize> aligned_lengths{};
  std::array<uint16_t, kLzxMainTreeSize> main_codes{};
  std::array<uint16_t, kLzxLengthTreeSize> length_codes{};
  std::array<uint16_t, kLzxAlignedTreeSize> aligned_codes{};
  BuildHuffmanLengths(main_counts, kLzxMaxCodeLength, main_lengths);
  BuildHuffmanLengths(length_counts, kLzxMaxCodeLength, length_lengths);
  BuildHuffmanLengths(aligned_counts, kLzxMaxAlignedCodeLength, aligned_lengths);
  BuildHuffmanCodes(main_lengths, main_codes);
  BuildHuffmanCodes(length_lengths, length_codes);
  BuildHuffmanCodes(aligned_lengths, aligned_codes);

  // An aligned-offset block pays for its tree and codes each footer's low three bits.
  int64_t aligned_saving = -kLzxAlignedTreeSize * kAlignedLengthBits;
  for (int s = 0; s < kLzxAlignedTreeSize; ++s) {
    aligned_saving += int64_t{aligned_counts[s]} * (3 - aligned_lengths[s]);
  }
  const bool aligned = aligned_saving > 0;

  LzxBitWriter writer(out);
  if (reset_bit) writer.Put(0, 1);  // no E8 translation
  assert(block_size <= kLzxResetSize);
  writer.Put(aligned ? kBlockAligned : kBlockVerbatim, kBlockTypeBits);
  writer.Put(block_size, kBlockSizeBits);
  if (aligned) {
    for (uint8_t length : aligned_lengths)
      writer.Put(length, kAlignedLengthBits);
  }
  WriteTreeRun(writer, main_lengths.data(), old_main, 256);
  WriteTreeRun(writer, main_lengths.data() + 256, old_main + 256, kLzxMainTreeSize - 256);
  WriteTreeRun(writer, length_lengths.data(), old_length, kLzxLengthTreeSize);
  std::memcpy(old_main, main_lengths.data(), kLzxMainTreeSize);
  std::memcpy(old_length, length_lengths.data(), kLzxLengthTreeSize);

  for (size_t i = first; i < last; ++i) {
    const LzxItem& item = items_[i];
    if (item.length() == 0) {
      writer.Put(main_codes[item.value()], main_lengths[item.value()]);
      ++out_pos;
    } else {
      const int slot = LzxSlotOf(item.value());
      const uint32_t header = std::min<uint32_t>(item.length() - 2, 7);
      const int symbol = 256 + slot * 8 + static_cast<int>(header);
      writer.Put(main_codes[symbol], main_lengths[symbol]);
      if (header == 7) {
        writer.Put(length_codes[item.length() - 9], length_lengths[item.length() - 9]);
      }
      const int footer_bits = kLzxFooterBits[slot];
      const uint32_t footer = item.value() - kLzxSlotBase[slot];
      if (aligned && footer_bits >= 3) {
        writer.Put(footer >> 3, footer_bits - 3);
        writer.Put(aligned_codes[footer & 7], aligned_lengths[footer & 7]);
      } else {
        writer.Put(footer, footer_bits);
      }
      out_pos += item.length();
    }
    if (out_pos % kLzxFrameSize == 0) {
      writer.AlignToWord();
      frame_offsets.push_back(static_cast<uint32_t>(out.size()));
    }
  }
}

void LzxEncoder::EncodeInterval(std::span<const uint8_t> data, LzxCompressedInterval& out) {
  assert(!data.empty() && data.size() % kLzxFrameSize == 0 && data.size() <= kLzxResetSize);
  std::array<uint32_t, 3> repeats;
  finder_.Parse(data, items_, repeats);
  const size_t frames = data.size() / kLzxFrameSize;

  // Item index where each frame ends (matches never cross a frame end).
  std::vector<size_t> frame_end_item;
  uint32_t produced = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    produced += items_[i].length() == 0 ? 1 : items_[i].length();
    if (produced % kLzxFrameSize == 0) frame_end_item.push_back(i + 1);
  }
  assert(frame_end_item.size() == frames);

  // One block for the whole interval: one set of trees.
  std::array<uint8_t, kLzxMainTreeSize> old_main{};
  std::array<uint8_t, kLzxLengthTreeSize> old_length{};
  out.bytes.clear();
  out.frame_offsets.assign(1, 0);
  std::vector<uint32_t> ends;
  WriteCompressedBlock(out.bytes, 0, items_.size(), static_cast<uint32_t>(data.size()), 0, true,
                       old_main.data(), old_length.data(), ends);
  bool fits = true;
  uint32_t start = 0;
  for (uint32_t end : ends) {
    fits = fits && end - start <= kMaxFrameBytes;
    start = end;
  }
  if (fits && out.bytes.size() < data.size() * 9 / 10) {
    ends.pop_back();
    out.frame_offsets.insert(out.frame_offsets.end(), ends.begin(), ends.end());
    return;
  }

  // Hard to compress: one block per frame, each either compressed or stored.
  std::vector<uint8_t> best = std::move(out.bytes);
  std::vector<uint32_t> best_ends = ends;
  std::vector<uint8_t> split;
  std::vector<uint32_t> split_ends;
  old_main.fill(0);
  old_length.fill(0);
  size_t first_item = 0;
  for (size_t f = 0; f < frames; ++f) {
    const std::span<const uint8_t> raw = data.subspan(f * kLzxFrameSize, kLzxFrameSize);
    auto saved_main = old_main;
    auto saved_length = old_length;
    scratch_.clear();
    std::vector<uint32_t> unused;
    WriteCompressedBlock(scratch_, first_item, frame_end_item[f],
                         static_cast<uint32_t>(kLzxFrameSize),
                         static_cast<uint32_t>(f * kLzxFrameSize), f == 0, old_main.data(),
                         old_length.data(), unused);
    if (scratch_.size() >= kLzxFrameSize) {
      // Stored: the trees of the previous block stay in force for the next one.
      old_main = saved_main;
      old_length = saved_length;
      scratch_.clear();
      WriteUncompressedBlock(scratch_, raw, f == 0, RepeatsAfter(items_, frame_end_item[f]));
    }
    split.insert(split.end(), scratch_.begin(), scratch_.end());
    split_ends.push_back(static_cast<uint32_t>(split.size()));
    first_item = frame_end_item[f];
  }
  if (!fits || split.size() < best.size()) {
    best = std::move(split);
    best_ends = std::move(split_ends);
  }
  out.bytes = std::move(best);
  best_ends.pop_back();
  out.frame_offsets.assign(1, 0);
  out.frame_offsets.insert(out.frame_offsets.end(), best_ends.begin(), best_ends.end());
}

}  // namespace corvina::chm
