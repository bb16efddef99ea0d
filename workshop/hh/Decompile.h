#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>

namespace corvina::workshop {

// Exit codes of hh -decompile.
inline constexpr int kDecompileClean = 0;
inline constexpr int kDecompileIncomplete = 1;  // some files were not extracted
inline constexpr int kDecompileFailed = 2;      // not a help file, or no output folder

// What a name of the archive's directory stands for in the output folder.
struct OutputName {
  enum class Kind { kSkipped, kFolder, kFile, kOutside } kind = Kind::kSkipped;
  std::string relative;  // below the output folder, "/"-separated
};

// Maps an archive name to a place below the output folder. The compiler's own files ("::"
// storage, and the system files that the format names at the root, such as "/#SYSTEM" and
// "/$WWKeywordLinks/...") are skipped; a name that is not a plain
// relative path (empty, "." or ".." components, a backslash or a NUL) is kOutside.
OutputName ClassifyArchiveName(std::string_view name);

struct DecompileOptions {
  // Extract even when the files would take far more room than the help file itself, as the
  // names of a hostile file can all point at one large region.
  bool force = false;
};

// The most bytes extracted without force: the help file's size times this, plus the floor.
inline constexpr uint64_t kOutputRatioLimit = 100;
inline constexpr uint64_t kOutputFloor = uint64_t{32} << 20;

// Extracts every source file of the help file into the folder: one line per file, and every
// problem as an "HHC" message, on out. Each file is written under a temporary name and
// renamed when complete. Returns one of the exit codes above.
int Decompile(const std::filesystem::path& folder, const std::filesystem::path& file,
              std::ostream& out, DecompileOptions options = {});

}  // namespace corvina::workshop
