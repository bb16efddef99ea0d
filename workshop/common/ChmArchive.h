#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Status.h"
#include "workshop/common/ChmLibchmGuard.h"

struct chmFile;

namespace corvina::workshop {

// Numbers of the errors of Open that are not the operating system's.
inline constexpr int32_t kErrNotAHelpFile = 1002;
inline constexpr int32_t kErrDamagedHelpFile = 1003;

// One name of a .chm's directory, as its listing chunk holds it.
struct ChmEntry {
  std::string name;  // UTF-8 bytes as stored: "/page.htm", "/images/", "::DataSpace/..."
  int space = 0;     // 0: stored as is; 1: LZX-compressed
  uint64_t start = 0;
  uint64_t length = 0;
};

// Limits that keep a hostile or damaged directory from costing more than a real one would.
struct ChmLimits {
  uint32_t max_chunk_size = 65536;
  uint64_t max_directory_bytes = uint64_t{1} << 30;
};

// A compiled help file opened for reading. The directory is read from every listing chunk,
// not only those from the header's "first listing chunk" on, since some writers name the
// wrong one; the bytes of each file are read with libchm.
class ChmArchive {
 public:
  // Fails with a clear description when the file cannot be opened, is not a compiled help
  // file, or its directory is cut short.
  static Result<ChmArchive> Open(const std::filesystem::path& file, ChmLimits limits = {});

  ChmArchive(ChmArchive&&) noexcept;
  ChmArchive& operator=(ChmArchive&&) noexcept;
  ~ChmArchive();

  // Every name of every listing chunk, in directory order, each name once.
  const std::vector<ChmEntry>& entries() const { return entries_; }
  // Problems found in the directory that did not keep the other names from being read.
  const std::vector<std::string>& directory_warnings() const { return warnings_; }

  // Hands the entry's bytes to the sink piece by piece; fails when libchm gives fewer bytes
  // than the directory promises, or when the sink fails.
  Status Read(const ChmEntry& entry,
              const std::function<Status(std::span<const std::byte>)>& sink) const;
  // The whole file named, at most max_bytes of it.
  Result<std::string> ReadFile(std::string_view name, size_t max_bytes) const;
  // The text of the /#SYSTEM record with this code (0: contents file, 1: index file, 2: default
  // topic, 3: title) up to its first NUL, as UTF-8; empty when there is none.
  std::string SystemText(uint16_t code) const;
  // The title stored in /#SYSTEM, as UTF-8; empty when there is none.
  std::string Title() const { return SystemText(3); }

 private:
  struct Closer {
    void operator()(chmFile* file) const;
  };
  ChmArchive() = default;

  std::unique_ptr<chmFile, Closer> chm_;
  std::vector<ChmEntry> entries_;
  std::vector<std::string> warnings_;
  ChmLibchmGuard guard_;
};

}  // namespace corvina::workshop
