#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/LzxEncoder.h"

namespace corvina::chm {

// Turns a byte stream into the LZX stream of a compressed section. Reset intervals are
// compressed on `threads` workers and handed to the sink in order, so the bytes are the same
// for any number of threads. Input is buffered one interval at a time; at most a few intervals
// per worker are in flight.
class LzxStreamWriter {
 public:
  using Sink = std::function<Status(std::span<const uint8_t>)>;

  // `threads` <= 0 uses every core; 1 compresses on the calling thread.
  LzxStreamWriter(int threads, Sink sink, LzxParseOptions options = {});
  ~LzxStreamWriter();
  LzxStreamWriter(const LzxStreamWriter&) = delete;
  LzxStreamWriter& operator=(const LzxStreamWriter&) = delete;

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
    bool done = false;
  };
  void Submit();
  void Deliver(Job& job);
  void DrainReady(bool wait_all);
  void WorkerLoop();

  Sink sink_;
  LzxParseOptions options_;
  std::unique_ptr<LzxEncoder> inline_encoder_;
  std::vector<uint8_t> buffer_;
  uint64_t uncompressed_ = 0;
  uint64_t compressed_ = 0;
  std::vector<uint64_t> frame_offsets_;
  Status status_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<std::unique_ptr<Job>> in_flight_;  // in stream order
  std::deque<Job*> todo_;
  bool stopping_ = false;
  size_t max_in_flight_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace corvina::chm
