#include "workshop/common/ChmArchive.h"

#include <chm_lib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_set>

#include "platform/TextEncoding.h"
#include "platform/UniqueFd.h"
#include "workshop/common/ChmFields.h"
#include "workshop/common/ChmLibchmGuard.h"

namespace corvina::workshop {
namespace {

constexpr size_t kItsfMinimumHeader = 0x58;  // version 2; version 3 adds one QWORD
constexpr size_t kItspHeader = 0x54;
constexpr size_t kReadPiece = 64 * 1024;

// Reads exactly size bytes at offset; false when the file ends first.
bool ReadAt(int fd, uint64_t offset, unsigned char* out, size_t size) {
  while (size > 0) {
    ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool ReadFromFd(void* context, uint64_t offset, unsigned char* out, size_t size) {
  return ReadAt(*static_cast<int*>(context), offset, out, size);
}

std::string Quoted(const std::filesystem::path& file) {
  return "\"" + file.string() + "\"";
}

Error Damaged(const std::filesystem::path& file, std::string_view what) {
  return Error{kErrDamagedHelpFile, Quoted(file) + " is damaged: " + std::string(what)};
}

}  // namespace

void ChmArchive::Closer::operator()(chmFile* file) const {
  chm_close(file);
}

ChmArchive::ChmArchive(ChmArchive&&) noexcept = default;
ChmArchive& ChmArchive::operator=(ChmArchive&&) noexcept = default;
ChmArchive::~ChmArchive() = default;

Result<ChmArchive> ChmArchive::Open(const std::filesystem::path& file, ChmLimits limits) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return ErrnoError("open", errno, file.string());
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return ErrnoError("stat", errno, file.string());
  if (S_ISDIR(info.st_mode)) return ErrnoError("open", EISDIR, file.string());
  const uint64_t file_size = static_cast<uint64_t>(info.st_size);

  const Error not_chm{kErrNotAHelpFile, Quoted(file) + " is not a compiled help file (.chm)"};
  unsigned char itsf[0x60] = {};
  if (file_size < kItsfMinimumHeader ||
      !ReadAt(fd.get(), 0, itsf, std::min<uint64_t>(file_size, sizeof itsf)) ||
      std::memcmp(itsf, "ITSF", 4) != 0) {
    return not_chm;
  }
  uint32_t version = Dword(itsf + 4);
  if (version != 2 && version != 3) return not_chm;
  const uint64_t directory_offset = Qword(itsf + 0x48);
  // Section 0 starts after the directory; version 3 names its start.
  const uint64_t data_offset =
      version == 3 ? Qword(itsf + 0x58) : directory_offset + Qword(itsf + 0x50);
  if (directory_offset > file_size || file_size - directory_offset < kItspHeader) {
    return Damaged(file, "its directory lies beyond the end of the file");
  }

  unsigned char itsp[kItspHeader];
  if (!ReadAt(fd.get(), directory_offset, itsp, kItspHeader) || std::memcmp(itsp, "ITSP", 4) != 0) {
    return Damaged(file, "its directory header is missing");
  }
  const uint32_t header_length = Dword(itsp + 0x08);
  const uint32_t chunk_size = Dword(itsp + 0x10);
  const uint32_t chunk_count = Dword(itsp + 0x2C);
  if (header_length < kItspHeader || chunk_size < kPmglHeader + 2 ||
      chunk_size > limits.max_chunk_size) {
    return Damaged(file, "its directory header is invalid");
  }
  const uint64_t directory_bytes = uint64_t{chunk_count} * chunk_size;
  const uint64_t chunks_offset = directory_offset + header_length;
  if (directory_bytes > limits.max_directory_bytes || chunks_offset > file_size ||
      file_size - chunks_offset < directory_bytes) {
    return Damaged(file, "its directory ends beyond the end of the file");
  }

  ChmArchive archive;
  std::vector<unsigned char> chunks(directory_bytes);
  if (!ReadAt(fd.get(), chunks_offset, chunks.data(), chunks.size())) {
    return ErrnoError("read", errno == 0 ? EIO : errno, file.string());
  }
  std::unordered_set<std::string> seen;
  for (uint32_t k = 0; k < chunk_count; ++k) {
    const unsigned char* chunk = chunks.data() + uint64_t{k} * chunk_size;
    if (std::memcmp(chunk, "PMGI", 4) == 0) continue;  // index chunks repeat listed names
    std::vector<ChmEntry> listed;
    bool whole = std::memcmp(chunk, "PMGL", 4) == 0 && ParseListingChunk(chunk, chunk_size, listed);
    if (!whole) {
      archive.warnings_.push_back("directory chunk " + std::to_string(k) +
                                  " is damaged; names after its last readable entry are missing");
    }
    for (ChmEntry& entry : listed) {
      if (seen.insert(entry.name).second) archive.entries_.push_back(std::move(entry));
    }
  }

  // libchm walks the index and reads the compressed section's settings without checking
  // them; a file it would loop or crash on is refused here.
  const ChmDirectoryView directory{.chunks = chunks,
                                   .chunk_size = chunk_size,
                                   .chunk_count = chunk_count,
                                   .index_root = static_cast<int32_t>(Dword(itsp + 0x1C)),
                                   .index_head = static_cast<int32_t>(Dword(itsp + 0x20))};
  if (std::optional<std::string> problem = ChmLibchmGuard::CheckIndexTree(directory)) {
    return Damaged(file, *problem);
  }
  int raw_fd = fd.get();
  if (std::optional<std::string> problem =
          archive.guard_.CheckCompression(directory, data_offset, file_size, ReadFromFd, &raw_fd)) {
    return Damaged(file, *problem);
  }

  // libchm opens the file that was checked, even when its name now leads to another.
  const std::string checked = "/proc/self/fd/" + std::to_string(fd.get());
  archive.chm_.reset(chm_open(checked.c_str()));
  if (!archive.chm_) archive.chm_.reset(chm_open(file.c_str()));
  if (!archive.chm_) return not_chm;
  // Files are read in the order of their bytes; a larger cache keeps the decoded frames of
  // neighbouring files.
  chm_set_param(archive.chm_.get(), CHM_PARAM_MAX_BLOCKS_CACHED, 64);
  return archive;
}

Status ChmArchive::Read(const ChmEntry& entry,
                        const std::function<Status(std::span<const std::byte>)>& sink) const {
  // The entry is read from its listed place: libchm's look-up by name would walk the index
  // again, and cannot find every name (non-ASCII letters, names longer than it keeps).
  if (entry.space == 1 && !guard_.CompressedRangeReadable(entry)) {
    return Error{kErrDeviceIO, "its bytes lie beyond the compressed data"};
  }
  chmUnitInfo unit{};
  unit.space = entry.space;
  unit.start = entry.start;
  unit.length = entry.length;
  std::vector<unsigned char> buffer(std::min<uint64_t>(entry.length, kReadPiece));
  uint64_t done = 0;
  while (done < entry.length) {
    LONGINT64 want = static_cast<LONGINT64>(std::min<uint64_t>(entry.length - done, kReadPiece));
    LONGINT64 got = chm_retrieve_object(chm_.get(), &unit, buffer.data(), done, want);
    if (got <= 0) {
      return Error{kErrDeviceIO, "only " + std::to_string(done) + " of " +
                                     std::to_string(entry.length) + " bytes could be read"};
    }
    Status written = sink(std::as_bytes(std::span(buffer.data(), static_cast<size_t>(got))));
    if (!written) return written;
    done += static_cast<uint64_t>(got);
  }
  return Status::Ok();
}

Result<std::string> ChmArchive::ReadFile(std::string_view name, size_t max_bytes) const {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const ChmEntry& entry) { return entry.name == name; });
  if (it == entries_.end()) return Error{kErrFileNotFound, std::string(name) + " is not listed"};
  if (it->length > max_bytes) return Error{kErrDeviceIO, std::string(name) + " is too large"};
  std::string bytes;
  Status status = Read(*it, [&](std::span<const std::byte> piece) {
    bytes.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    return Status::Ok();
  });
  if (!status) return status.error();
  return bytes;
}

std::string ChmArchive::SystemText(uint16_t wanted) const {
  Result<std::string> system = ReadFile("/#SYSTEM", 1 << 20);
  if (!system.ok() || system->size() < 4) return {};
  const std::string& bytes = *system;
  size_t at = 4;  // after the version DWORD
  while (at + 4 <= bytes.size()) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    uint16_t code = static_cast<uint16_t>(byte(at) | byte(at + 1) << 8);
    uint16_t length = static_cast<uint16_t>(byte(at + 2) | byte(at + 3) << 8);
    at += 4;
    if (length > bytes.size() - at) break;
    if (code == wanted) {
      std::string text = bytes.substr(at, length);
      text = text.substr(0, text.find('\0'));
      // Texts are stored in the project's code page; a compiler that kept UTF-8 is read as is.
      return IsValidUtf8(text) ? text : AnsiToUtf8(text);
    }
    at += length;
  }
  return {};
}

}  // namespace corvina::workshop
