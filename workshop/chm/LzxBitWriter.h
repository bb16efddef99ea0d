#pragma once

#include <cstdint>
#include <vector>

namespace corvina::chm {

// Packs bit fields MSB-first into 16-bit words and stores each word little-endian, the bit
// order of an LZX stream.
class LzxBitWriter {
 public:
  explicit LzxBitWriter(std::vector<uint8_t>& out) : out_(out) {}

  // Appends the low `count` bits of `value` (count <= 32).
  void Put(uint32_t value, int count) {
    if (count == 0) return;
    acc_ = (acc_ << count) | (value & ((uint64_t{1} << count) - 1));
    pending_ += count;
    while (pending_ >= 16) {
      pending_ -= 16;
      const uint32_t word = static_cast<uint32_t>(acc_ >> pending_) & 0xFFFF;
      out_.push_back(static_cast<uint8_t>(word & 0xFF));
      out_.push_back(static_cast<uint8_t>(word >> 8));
    }
    acc_ &= (uint64_t{1} << pending_) - 1;
  }

  // Pads with 0 to 15 zero bits up to the next word boundary.
  void AlignToWord() {
    if (pending_ != 0) Put(0, 16 - pending_);
  }

  // Pads with 1 to 16 zero bits, as an uncompressed block header requires.
  void PadForUncompressed() { Put(0, pending_ == 0 ? 16 : 16 - pending_); }

  // Bits written so far, counting those still pending.
  uint64_t BitCount() const { return out_.size() * uint64_t{8} + pending_; }

  // Appends raw bytes; the writer must be word-aligned.
  void PutBytes(const uint8_t* data, size_t size) { out_.insert(out_.end(), data, data + size); }

  std::vector<uint8_t>& bytes() { return out_; }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int pending_ = 0;
};

}  // namespace corvina::chm
