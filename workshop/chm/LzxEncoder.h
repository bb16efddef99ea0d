#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "workshop/chm/LzxMatchFinder.h"

namespace corvina::chm {

// One reset interval in compressed form: its bytes (a whole number of 16-bit words) and the
// offset within them where each 32 KB frame begins.
struct LzxCompressedInterval {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> frame_offsets;
};

// Compresses reset intervals of the CHM variant of LZX: 64 KB window, E8 translation off,
// verbatim or aligned-offset blocks with real Huffman trees, and uncompressed blocks for frames
// that do not shrink. Each interval is self-contained, so intervals may be compressed in any
// order and joined; the output depends only on the input bytes.
class LzxEncoder {
 public:
  explicit LzxEncoder(LzxParseOptions options = {});

  // `data` holds one or two whole frames (32768 or 65536 bytes).
  void EncodeInterval(std::span<const uint8_t> data, LzxCompressedInterval& out);

 private:
  struct Trees;
  void WriteCompressedBlock(std::vector<uint8_t>& out, size_t first, size_t last,
                            uint32_t block_size, uint32_t out_pos, bool reset_bit,
                            uint8_t* old_main, uint8_t* old_length,
                            std::vector<uint32_t>& frame_offsets);

  LzxMatchFinder finder_;
  std::vector<LzxItem> items_;
  std::vector<uint8_t> scratch_;
};

}  // namespace corvina::chm
