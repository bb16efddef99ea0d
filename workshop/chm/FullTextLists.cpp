#include "workshop/chm/FullTextLists.h"

#include <algorithm>
#include <cstring>

#include "workshop/chm/ChmBytes.h"
#include "workshop/chm/ChmOutputFile.h"

namespace corvina::chm {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kPieceHeader = 8;      // next piece, length
constexpr size_t kRunRecordHeader = 8;  // entry, length
constexpr size_t kRunBuffer = 1 << 15;  // per run while reading back
constexpr size_t kWriteBuffer = 1 << 16;

uint32_t GetU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

FullTextLists::FullTextLists(std::filesystem::path scratch_folder, size_t memory_limit)
    : scratch_folder_(std::move(scratch_folder)), memory_limit_(memory_limit) {
  // Filled up to the limit and emptied again, never reallocated on the way.
  if (!scratch_folder_.empty()) held_.reserve(memory_limit_ + kWriteBuffer);
}

FullTextLists::~FullTextLists() = default;

void FullTextLists::Append(uint32_t entry, std::span<const uint8_t> piece, const Before& before) {
  if (entry >= first_.size()) {
    first_.resize(entry + 1, kNone);
    last_.resize(entry + 1, kNone);
  }
  const uint32_t at = static_cast<uint32_t>(held_.size());
  PutU32(held_, kNone);
  PutU32(held_, static_cast<uint32_t>(piece.size()));
  held_.insert(held_.end(), piece.begin(), piece.end());
  if (first_[entry] == kNone) {
    first_[entry] = at;
    touched_.push_back(entry);
  } else {
    SetU32(held_, last_[entry], at);
  }
  last_[entry] = at;
  if (held_.size() >= memory_limit_ && !scratch_folder_.empty() && status_.ok()) {
    WriteRun(before);
  }
}

void FullTextLists::WriteRun(const Before& before) {
  if (!file_) {
    Result<std::unique_ptr<ChmScratchFile>> file = ChmScratchFile::Create(scratch_folder_);
    if (!file.ok()) {
      status_ = file.error();
      return;
    }
    file_ = std::move(file).value();
  }
  std::sort(touched_.begin(), touched_.end(), before);
  const uint64_t start = file_->size();
  std::vector<uint8_t> out;
  out.reserve(kWriteBuffer);
  auto flush = [&] {
    if (status_.ok()) status_ = file_->Write(out);
    out.clear();
  };
  for (uint32_t entry : touched_) {
    uint32_t length = 0;
    for (uint32_t piece = first_[entry]; piece != kNone; piece = GetU32(&held_[piece]))
      length += GetU32(&held_[piece + 4]);
    PutU32(out, entry);
    PutU32(out, length);
    for (uint32_t piece = first_[entry]; piece != kNone; piece = GetU32(&held_[piece])) {
      const uint8_t* bytes = &held_[piece + kPieceHeader];
      out.insert(out.end(), bytes, bytes + GetU32(&held_[piece + 4]));
      if (out.size() >= kWriteBuffer) flush();
    }
    first_[entry] = last_[entry] = kNone;
  }
  flush();
  touched_.clear();
  held_.clear();
  if (status_.ok()) runs_.push_back({start, file_->size(), {}});
}

bool FullTextLists::Read(uint32_t entry, const std::function<bool(std::span<const uint8_t>)>& out) {
  if (!status_.ok()) return false;
  // Makes at least `wanted` bytes available in the run's window, unless the run ends first.
  auto fill = [&](Run& run, size_t wanted) {
    if (run.available() >= wanted || run.next == run.end) return true;
    run.window.erase(run.window.begin(), run.window.begin() + static_cast<ptrdiff_t>(run.at));
    run.at = 0;
    const size_t have = run.window.size();
    const size_t take = static_cast<size_t>(
        std::min<uint64_t>(run.end - run.next, std::max(wanted, kRunBuffer) - have));
    run.window.resize(have + take);
    status_ = file_->ReadAt(run.next, {run.window.data() + have, take});
    run.next += take;
    return status_.ok();
  };
  for (Run& run : runs_) {
    if (!fill(run, kRunRecordHeader)) return false;
    if (run.available() < kRunRecordHeader || GetU32(&run.window[run.at]) != entry) continue;
    uint64_t length = GetU32(&run.window[run.at + 4]);
    run.at += kRunRecordHeader;
    while (length > 0) {
      if (!fill(run, 1)) return false;
      const size_t take = static_cast<size_t>(std::min<uint64_t>(length, run.available()));
      if (take == 0) {
        status_ = Error{kErrInvalidArgument, "a scratch file of the search index ends early"};
        return false;
      }
      if (!out({&run.window[run.at], take})) return false;
      run.at += take;
      length -= take;
    }
  }
  if (entry < first_.size()) {
    for (uint32_t piece = first_[entry]; piece != kNone; piece = GetU32(&held_[piece])) {
      if (!out({&held_[piece + kPieceHeader], GetU32(&held_[piece + 4])})) return false;
    }
  }
  return true;
}

}  // namespace corvina::chm
