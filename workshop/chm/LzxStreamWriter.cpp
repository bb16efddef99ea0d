#include "workshop/chm/LzxStreamWriter.h"

#include <algorithm>

namespace corvina::chm {

LzxStreamWriter::LzxStreamWriter(int threads, Sink sink, LzxParseOptions options)
    : sink_(std::move(sink)), options_(options) {
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  buffer_.reserve(kLzxResetSize);
  if (threads == 1) {
    inline_encoder_ = std::make_unique<LzxEncoder>(options_);
    return;
  }
  max_in_flight_ = static_cast<size_t>(threads) * 3;
  for (int i = 0; i < threads; ++i)
    workers_.emplace_back([this] { WorkerLoop(); });
}

LzxStreamWriter::~LzxStreamWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& worker : workers_)
    worker.join();
}

void LzxStreamWriter::WorkerLoop() {
  LzxEncoder encoder(options_);
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
    if (todo_.empty()) return;
    Job* job = todo_.front();
    todo_.pop_front();
    lock.unlock();
    encoder.EncodeInterval(job->input, job->output);
    lock.lock();
    job->done = true;
    job_done_.notify_all();
  }
}

void LzxStreamWriter::Deliver(Job& job) {
  for (uint32_t offset : job.output.frame_offsets)
    frame_offsets_.push_back(compressed_ + offset);
  compressed_ += job.output.bytes.size();
  if (status_.ok()) status_ = sink_(job.output.bytes);
}

// Hands finished intervals to the sink in order. Without `wait_all` it waits only while too
// many intervals are in flight.
void LzxStreamWriter::DrainReady(bool wait_all) {
  std::unique_lock lock(mutex_);
  while (!in_flight_.empty()) {
    if (!in_flight_.front()->done) {
      if (!wait_all && in_flight_.size() < max_in_flight_) break;
      job_done_.wait(lock, [this] { return in_flight_.front()->done; });
    }
    std::unique_ptr<Job> job = std::move(in_flight_.front());
    in_flight_.pop_front();
    lock.unlock();
    Deliver(*job);
    lock.lock();
  }
}

void LzxStreamWriter::Submit() {
  if (inline_encoder_) {
    Job job;
    inline_encoder_->EncodeInterval(buffer_, job.output);
    Deliver(job);
    buffer_.clear();
    return;
  }
  auto job = std::make_unique<Job>();
  job->input.swap(buffer_);
  buffer_.reserve(kLzxResetSize);
  {
    std::lock_guard lock(mutex_);
    todo_.push_back(job.get());
    in_flight_.push_back(std::move(job));
  }
  work_ready_.notify_one();
}

Status LzxStreamWriter::Append(std::span<const uint8_t> data) {
  while (!data.empty()) {
    if (buffer_.size() == kLzxResetSize) {
      Submit();
      if (!inline_encoder_) DrainReady(false);
    }
    const size_t take = std::min(data.size(), kLzxResetSize - buffer_.size());
    buffer_.insert(buffer_.end(), data.begin(), data.begin() + take);
    data = data.subspan(take);
    uncompressed_ += take;
  }
  return status_;
}

Status LzxStreamWriter::Finish() {
  // Readers disagree at frame ends. libmspack decodes one frame beyond a read that ends exactly
  // at a frame end; 7-Zip expects floor((length + 32769) / 32768) frames, one more than there
  // are when the length is a multiple of 32768 or one short of it. Padding counted into the
  // length (one or two zero bytes, belonging to no file) keeps it away from those values, so
  // that every reader finds exactly the frames it looks for.
  const uint64_t rest = uncompressed_ % kLzxFrameSize;
  const size_t padding = rest == 0 ? 1 : rest == kLzxFrameSize - 1 ? 2 : 0;
  if (padding != 0) {
    const uint8_t zeros[2] = {0, 0};
    if (Status status = Append({zeros, padding}); !status.ok()) return status;
  }
  if (!buffer_.empty()) {
    buffer_.resize(buffer_.size() <= kLzxFrameSize ? kLzxFrameSize : kLzxResetSize);
    Submit();
  }
  if (!inline_encoder_) DrainReady(true);
  return status_;
}

}  // namespace corvina::chm
