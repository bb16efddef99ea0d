#include "workshop/chm/ChmOutputFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/WriteAll.h"

namespace corvina::chm {

Result<std::unique_ptr<ChmOutputFile>> ChmOutputFile::Create(
    const std::filesystem::path& final_path) {
  std::error_code ec;
  if (std::filesystem::is_directory(final_path, ec)) {
    return Error{kErrPathNotFound, "cannot write " + final_path.string() + ": it is a folder"};
  }
  std::filesystem::path folder = final_path.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + final_path.filename().string() + ".XXXXXX")).string();
  UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd.valid()) return ErrnoError("create", errno, final_path.string());
  // mkostemp makes the file private; give it the mode a newly created file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd.get(), 0666 & ~mask);
  return std::make_unique<ChmOutputFile>(Token{}, std::move(fd), pattern, final_path);
}

ChmOutputFile::~ChmOutputFile() {
  fd_.reset();
  if (!committed_) ::unlink(temp_path_.c_str());
}

Status ChmOutputFile::Write(std::span<const uint8_t> bytes) {
  return WriteAll(fd_.get(), bytes, final_path_.string());
}

Status ChmOutputFile::CopyFrom(ChmScratchFile& scratch) {
  return scratch.ReadBack([this](std::span<const uint8_t> bytes) { return Write(bytes); });
}

Status ChmOutputFile::Commit() {
  UniqueFd fd = std::move(fd_);
  // The bytes reach the disk before the name does: after a crash the output is either the
  // earlier file or the whole new one, never a new name over missing data.
  if (::fsync(fd.get()) != 0) return ErrnoError("write", errno, final_path_.string());
  if (::close(fd.release()) != 0) return ErrnoError("write", errno, final_path_.string());
  if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0) {
    return ErrnoError("rename", errno, final_path_.string());
  }
  committed_ = true;
  // The rename itself is made durable with the folder; a folder that cannot be synced (some
  // file systems refuse) leaves the file complete all the same.
  std::filesystem::path folder = final_path_.parent_path();
  if (folder.empty()) folder = ".";
  if (UniqueFd folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      folder_fd.valid()) {
    ::fsync(folder_fd.get());
  }
  return Status::Ok();
}

Result<std::unique_ptr<ChmScratchFile>> ChmScratchFile::Create(
    const std::filesystem::path& folder) {
  std::string pattern = (folder / ".chm-scratch.XXXXXX").string();
  UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd.valid()) return ErrnoError("create", errno, folder.string());
  ::unlink(pattern.c_str());  // anonymous from now on
  return std::make_unique<ChmScratchFile>(Token{}, std::move(fd), folder);
}

Status ChmScratchFile::Write(std::span<const uint8_t> bytes) {
  Status status = WriteAll(fd_.get(), bytes, (folder_ / "(scratch file)").string());
  if (status.ok()) size_ += bytes.size();
  return status;
}

Status ChmScratchFile::ReadBack(const std::function<Status(std::span<const uint8_t>)>& out) const {
  std::vector<uint8_t> buffer(1 << 18);
  uint64_t offset = 0;
  while (offset < size_) {
    const ssize_t n = ::pread(fd_.get(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ErrnoError("read", n < 0 ? errno : EIO, "scratch file");
    if (Status status = out({buffer.data(), static_cast<size_t>(n)}); !status.ok()) return status;
    offset += static_cast<uint64_t>(n);
  }
  return Status::Ok();
}

Status ChmScratchFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t n =
        ::pread(fd_.get(), out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ErrnoError("read", n < 0 ? errno : EIO, "scratch file");
    got += static_cast<size_t>(n);
  }
  return Status::Ok();
}

}  // namespace corvina::chm
