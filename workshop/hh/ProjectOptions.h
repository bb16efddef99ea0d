#pragma once

#include <filesystem>
#include <iosfwd>

namespace corvina::workshop {

// Prints the project options that the help file keeps in its system data, one line each in
// the project file's form: "Contents file=NAME", "Index file=NAME", "Default topic=PAGE",
// "Title=TEXT" (UTF-8; an option the file does not hold is left out). A file that cannot be
// read gives one "HHC" error line instead. Returns kDecompileClean or kDecompileFailed.
int PrintProjectOptions(const std::filesystem::path& file, std::ostream& out);

}  // namespace corvina::workshop
