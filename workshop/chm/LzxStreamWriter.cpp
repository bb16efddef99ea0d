#include "workshop/chm/LzxStreamWriter.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace corvina::chm {

// The calling thread compresses too whenever it would otherwise wait.
constexpr size_t kIntervalsPerThread = 3;

LzxStreamWriter::LzxStreamWriter(int threads, Sink sink, LzxParseOptions options)
    : sink_(std::move(sink)),
      options_(options),
      intervals_(
          threads, kIntervalsPerThread,
          [this] {
            // Each thread keeps its own encoder and its tables.
            auto encoder = std::make_shared<LzxEncoder>(options_);
            return OrderedWork<Job>::Work(
                [encoder](Job& job) { encoder->EncodeInterval(job.input, job.output); });
          },
          [this](Job& job) { Deliver(job); }) {
  buffer_.reserve(kLzxResetSize);
}

void LzxStreamWriter::Deliver(Job& job) {
  for (uint32_t offset : job.output.frame_offsets)
    frame_offsets_.push_back(compressed_ + offset);
  compressed_ += job.output.bytes.size();
  if (status_.ok()) status_ = sink_(job.output.bytes);
}

void LzxStreamWriter::Submit() {
  auto job = std::make_unique<Job>();
  job->input.swap(buffer_);
  buffer_.reserve(kLzxResetSize);
  intervals_.Add(std::move(job));
}

Status LzxStreamWriter::Append(std::span<const uint8_t> data) {
  while (!data.empty()) {
    if (buffer_.size() == kLzxResetSize) Submit();
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
  intervals_.Finish();
  return status_;
}

}  // namespace corvina::chm
