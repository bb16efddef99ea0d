#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>

#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace corvina::chm {

// A file written under a temporary name beside its final path. Commit() renames it into
// place; until then nothing at the final path is touched, and the destructor removes the
// temporary file of an unfinished write.
class ChmOutputFile {
  struct Token {};  // only Create makes one

 public:
  static Result<std::unique_ptr<ChmOutputFile>> Create(const std::filesystem::path& final_path);
  ChmOutputFile(Token, UniqueFd fd, std::filesystem::path temp_path,
                std::filesystem::path final_path)
      : fd_(std::move(fd)), temp_path_(std::move(temp_path)), final_path_(std::move(final_path)) {}
  ~ChmOutputFile();
  ChmOutputFile(const ChmOutputFile&) = delete;
  ChmOutputFile& operator=(const ChmOutputFile&) = delete;

  Status Write(std::span<const uint8_t> bytes);
  // Copies the whole of `scratch` (read from its start) to the end of this file.
  Status CopyFrom(class ChmScratchFile& scratch);
  Status Commit();

 private:
  UniqueFd fd_;
  std::filesystem::path temp_path_;
  std::filesystem::path final_path_;
  bool committed_ = false;
};

// An unnamed file in a folder for data too big to keep in memory; gone when closed.
class ChmScratchFile {
  struct Token {};  // only Create makes one

 public:
  static Result<std::unique_ptr<ChmScratchFile>> Create(const std::filesystem::path& folder);
  ChmScratchFile(Token, UniqueFd fd, std::filesystem::path folder)
      : fd_(std::move(fd)), folder_(std::move(folder)) {}
  ChmScratchFile(const ChmScratchFile&) = delete;
  ChmScratchFile& operator=(const ChmScratchFile&) = delete;

  Status Write(std::span<const uint8_t> bytes);
  // Hands everything written so far to `out`, from the start, a piece at a time; stops at the
  // first failure of `out` and returns it.
  Status ReadBack(const std::function<Status(std::span<const uint8_t>)>& out) const;
  // Reads exactly `out.size()` bytes written earlier, from `offset`.
  Status ReadAt(uint64_t offset, std::span<uint8_t> out) const;
  uint64_t size() const { return size_; }
  int fd() const { return fd_.get(); }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  UniqueFd fd_;
  std::filesystem::path folder_;
  uint64_t size_ = 0;
};

}  // namespace corvina::chm
