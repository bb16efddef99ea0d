#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/ChmDirectory.h"
#include "workshop/chm/ChmNameIndex.h"
#include "workshop/chm/LzxMatchFinder.h"

namespace corvina::chm {

class ChmOutputFile;
class ChmScratchFile;
class LzxStreamWriter;

struct ChmArchiveOptions {
  uint32_t lcid = 0x0409;
  int threads = 0;  // 0: every core
  LzxParseOptions parse;
};

// Limits of what we write: names must fit a directory chunk, and files and the compressed
// section stay within 32-bit sizes, which every reader handles.
inline constexpr size_t kChmMaxNameBytes = 1024;
inline constexpr uint64_t kChmMaxSectionBytes = 0xFFFFFFFFull;

// Writes a .chm archive: files added to the compressed section are streamed through the LZX
// compressor as they come, stored files are kept until Finish, which writes the header,
// directory and section 0 and renames the file into place. Until Finish succeeds nothing
// exists at the output path; a failed or abandoned writer leaves nothing behind.
class ChmArchiveWriter {
  struct Token {};  // only Create makes one

 public:
  static Result<std::unique_ptr<ChmArchiveWriter>> Create(const std::filesystem::path& output,
                                                          const ChmArchiveOptions& options);
  ChmArchiveWriter(Token, std::filesystem::path output, const ChmArchiveOptions& options);
  ~ChmArchiveWriter();
  ChmArchiveWriter(const ChmArchiveWriter&) = delete;
  ChmArchiveWriter& operator=(const ChmArchiveWriter&) = delete;

  // `name` starts with "/" (the archive's own names start with "::"). Fails on a name that
  // equals an earlier one when compared as readers compare names.
  Status AddCompressed(std::string_view name, std::span<const uint8_t> bytes);
  // For a file added in pieces: BeginCompressed, any number of AppendCompressed, then
  // EndCompressed.
  Status BeginCompressed(std::string_view name);
  Status AppendCompressed(std::span<const uint8_t> bytes);
  Status EndCompressed();
  Status AddStored(std::string_view name, std::span<const uint8_t> bytes);

  // True when a name equal to `name` (as readers compare) was added.
  bool Contains(std::string_view name) const;

  Status Finish();

 private:
  Status CheckName(std::string_view name);

  std::filesystem::path output_;
  ChmArchiveOptions options_;
  std::unique_ptr<ChmOutputFile> file_;
  std::unique_ptr<ChmScratchFile> content_;
  std::unique_ptr<LzxStreamWriter> stream_;
  // A file added, held compactly until Finish lays out the directory: its name is in
  // names_text_.
  struct Added {
    uint64_t offset;
    uint64_t length;
    uint32_t name_at;
    uint16_t name_length;
    uint16_t section;
  };
  static_assert(kChmMaxNameBytes <= UINT16_MAX);
  std::string_view NameOf(uint32_t entry) const {
    return std::string_view(names_text_).substr(added_[entry].name_at, added_[entry].name_length);
  }
  void AddEntry(std::string_view name, uint16_t section, uint64_t offset, uint64_t length);

  std::deque<Added> added_;
  std::string names_text_;
  std::vector<std::vector<uint8_t>> stored_;  // bytes of the section-0 entries, in order
  ChmNameIndex names_;                        // the entries added, by name
  uint64_t section1_length_ = 0;
  bool file_open_ = false;
  Status failure_;
};

}  // namespace corvina::chm
