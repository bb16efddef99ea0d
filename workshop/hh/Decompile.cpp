#include "workshop/hh/Decompile.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "workshop/common/ChmArchive.h"
#include "workshop/hh/HhMessages.h"
#include "workshop/hh/OutputFolder.h"

namespace corvina::workshop {
namespace {

namespace msg = hh_messages;

void Message(std::ostream& out, int number, bool error, std::string_view text) {
  out << "HHC" << number << (error ? ": Error: " : ": Warning: ") << text << '\n' << std::flush;
}

// A name as it can be shown on one line: control bytes become \xNN.
std::string OneLine(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string Printable(std::string_view name) {
  return "\"" + OneLine(name) + "\"";
}

bool IsPlainRelativePath(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos ||
      path.find('\\') != std::string_view::npos) {
    return false;
  }
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = std::min(path.find('/', begin), path.size());
    std::string_view part = path.substr(begin, end - begin);
    if (part.empty() || part == "." || part == "..") return false;
    begin = end + 1;
  }
  return true;
}

// The names that the format and the compilers keep for their own files at the root; any other
// name, "$" or "#" first letter or not, is a source file.
bool IsSystemFile(std::string_view path) {
  static constexpr std::string_view kFiles[] = {
      "#SYSTEM",      "#TOPICS", "#URLTBL", "#URLSTR",  "#STRINGS",   "#IDXHDR",  "#WINDOWS",
      "#ITBITS",      "#TOCIDX", "#IVB",    "#SUBSETS", "$FIftiMain", "$OBJINST", "$HHTitleMap",
      "_#_README_#_",  // chmcmd's note
  };
  static constexpr std::string_view kFolders[] = {"$WWKeywordLinks/", "$WWAssociativeLinks/"};
  for (std::string_view file : kFiles) {
    if (path == file) return true;
  }
  for (std::string_view folder : kFolders) {
    if (path.starts_with(folder)) return true;
  }
  return false;
}

// Longer paths cannot be opened by name on Linux (PATH_MAX, the terminating NUL included).
constexpr size_t kMaxOutputPath = 4096;

struct Job {
  const ChmEntry* entry;
  std::string relative;
};

}  // namespace

OutputName ClassifyArchiveName(std::string_view name) {
  using Kind = OutputName::Kind;
  if (name.starts_with("::")) return {Kind::kSkipped, {}};
  if (!name.starts_with('/')) return {Kind::kOutside, {}};
  std::string_view path = name.substr(1);
  if (path.empty()) return {Kind::kSkipped, {}};  // the root folder itself
  if (IsSystemFile(path)) return {Kind::kSkipped, {}};
  Kind kind = Kind::kFile;
  if (path.back() == '/') {
    kind = Kind::kFolder;
    path.remove_suffix(1);
  }
  if (!IsPlainRelativePath(path)) return {Kind::kOutside, {}};
  return {kind, std::string(path)};
}

int Decompile(const std::filesystem::path& folder, const std::filesystem::path& file,
              std::ostream& out, DecompileOptions options) {
  Result<ChmArchive> archive = ChmArchive::Open(file);
  if (!archive.ok()) {
    int32_t number = archive.error().number;
    bool not_chm = number == kErrNotAHelpFile || number == kErrDamagedHelpFile;
    Message(out, not_chm ? msg::kNotAHelpFile : msg::kCannotOpenInput, true,
            archive.error().description);
    return kDecompileFailed;
  }
  int failures = 0;
  for (const std::string& warning : archive->directory_warnings()) {
    Message(out, msg::kDamagedDirectory, true, "\"" + file.string() + "\": " + warning);
    ++failures;
  }
  // Names may share their bytes, so the output can be far larger than the file; a file that
  // would fill the disk is refused before anything is written.
  uint64_t output_bytes = 0;
  for (const ChmEntry& entry : archive->entries()) {
    if (ClassifyArchiveName(entry.name).kind == OutputName::Kind::kFile) {
      output_bytes += std::min<uint64_t>(entry.length, uint64_t{1} << 48);
    }
  }
  std::error_code ec;
  const uint64_t file_size = std::filesystem::file_size(file, ec);
  if (!options.force && output_bytes > file_size * kOutputRatioLimit + kOutputFloor) {
    Message(out, msg::kOutputTooLarge, true,
            "\"" + file.string() + "\" (" + std::to_string(file_size) + " bytes) would extract " +
                std::to_string(output_bytes) +
                " bytes; nothing was extracted (hh -decompile --force extracts it anyway)");
    return kDecompileFailed;
  }
  Result<OutputFolder> output = OutputFolder::Open(folder);
  if (!output.ok()) {
    Message(out, msg::kCannotOpenOutput, true, output.error().description);
    return kDecompileFailed;
  }

  auto refuse = [&](const Error& error, const ChmEntry& entry) {
    ++failures;
    if (error.number == kErrSymbolicLink) {
      Message(out, msg::kSymbolicLink, false,
              error.description + "; " + Printable(entry.name) + " was not extracted");
    } else {
      Message(out, msg::kCannotWrite, true, error.description);
    }
  };

  std::vector<Job> jobs;
  for (const ChmEntry& entry : archive->entries()) {
    OutputName place = ClassifyArchiveName(entry.name);
    switch (place.kind) {
      case OutputName::Kind::kSkipped:
        break;
      case OutputName::Kind::kOutside:
        ++failures;
        Message(out, msg::kNameOutsideFolder, false,
                Printable(entry.name) +
                    " would be written outside the output folder; it was not extracted");
        break;
      case OutputName::Kind::kFolder:
      case OutputName::Kind::kFile:
        if (place.relative.size() >= kMaxOutputPath) {
          ++failures;
          Message(out, msg::kNameTooLong, false,
                  Printable(entry.name.substr(0, 60)) + "... (" +
                      std::to_string(entry.name.size()) +
                      " bytes) is too long a name for a file; it was not extracted");
          break;
        }
        if (place.kind == OutputName::Kind::kFile) {
          jobs.push_back({&entry, std::move(place.relative)});
          break;
        }
        if (Status made = output.value().MakeFolder(place.relative); !made)
          refuse(made.error(), entry);
        break;
    }
  }
  // In the order of their bytes, each compressed frame is decoded once.
  std::stable_sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) {
    return std::tie(a.entry->space, a.entry->start) < std::tie(b.entry->space, b.entry->start);
  });

  int extracted = 0;
  for (const Job& job : jobs) {
    Result<OutputFile> target = output.value().CreateFile(job.relative);
    if (!target.ok()) {
      refuse(target.error(), *job.entry);
      continue;
    }
    Status write_status;
    Status read_status = archive->Read(*job.entry, [&](std::span<const std::byte> bytes) {
      write_status = target.value().Write(bytes);
      return write_status;
    });
    if (!write_status.ok()) {
      refuse(write_status.error(), *job.entry);
      continue;
    }
    if (!read_status.ok()) {
      ++failures;
      Message(out, msg::kCannotRead, true,
              "could not read " + Printable(job.entry->name) + " from \"" + file.string() +
                  "\": " + read_status.description());
      continue;
    }
    if (Status committed = target.value().Commit(); !committed) {
      refuse(committed.error(), *job.entry);
      continue;
    }
    ++extracted;
    out << OneLine(job.relative) << '\n' << std::flush;
  }

  out << extracted << (extracted == 1 ? " file" : " files") << " extracted to \"" << folder.string()
      << "\"";
  if (failures > 0) out << "; " << failures << " not extracted";
  out << ".\n" << std::flush;
  return failures == 0 ? kDecompileClean : kDecompileIncomplete;
}

}  // namespace corvina::workshop
