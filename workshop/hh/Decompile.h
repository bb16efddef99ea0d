#pragma once

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
// storage, and "#" or "$" names at the root) are skipped; a name that is not a plain
// relative path (empty, "." or ".." components, a backslash or a NUL) is kOutside.
OutputName ClassifyArchiveName(std::string_view name);

// Extracts every source file of the help file into the folder: one line per file, and every
// problem as an "HHC" message, on out. Returns one of the exit codes above.
int Decompile(const std::filesystem::path& folder, const std::filesystem::path& file,
              std::ostream& out);

}  // namespace corvina::workshop
