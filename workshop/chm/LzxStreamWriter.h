#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/LzxEncoder.h"
#include "workshop/chm/OrderedWork.h"

namespace corvina::chm {

// Turns a byte stream into the LZX stream of a compressed section. Reset intervals are
// compressed on `threads` workers and handed to the sink in order, so the bytes are the same
// for any number of threads. Input is buffered one interval at a time; at most a few intervals
// per worker are in flight.
class LzxStreamWriter {
 public:
  using Sink = std::function<Status(std::span<const uint8_t>)>;

  // `threads` <= 0 uses every core; 1 compresses on the calling thread only, N adds N - 1
  // workers.
  LzxStreamWriter(int threads, Sink sink, LzxParseOptions options = {});

  Status Append(std::span<const uint8_t> data);
  // Pads the last frame with zeros, compresses what is left and waits for every worker.
  Status Finish();

  // The length the stream describes: the data, and after Finish a padding byte where needed.
  uint64_t uncompressed_length() const { return uncompressed_; }
  uint64_t compressed_length() const { return compressed_; }
  // Offset in the compressed stream where each 32 KB frame begins.
  const std::vector<uint64_t>& frame_offsets() const { return frame_offsets_; }

 private:
  struct Job {
    std::vector<uint8_t> input;
    LzxCompressedInterval output;
  };
  void Submit();
  void Deliver(Job& job);

  Sink sink_;
  LzxParseOptions options_;
  std::vector<uint8_t> buffer_;
  uint64_t uncompressed_ = 0;
  uint64_t compressed_ = 0;
  std::vector<uint64_t> frame_offsets_;
  Status status_;
  OrderedWork<Job> intervals_;  // last: its workers use what stands above
};

}  // namespace corvina::chm
