#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace corvina::workshop {

class ChmArchive;

// The contents file of the help file as a viewer finds it: the one the system data names,
// else the one of the default window (the window the system data names, else the first),
// else the only .hhc file stored; empty when none is found.
std::string FindContentsFile(const ChmArchive& archive);

// Prints the project options that the help file keeps in its system data, one line each in
// the project file's form: "Contents file=NAME" (found as FindContentsFile does), "Index
// file=NAME", "Default topic=PAGE", "Title=TEXT" (UTF-8; an option the file does not hold is
// left out). A file that cannot be
// read gives one "HHC" error line instead. Returns kDecompileClean or kDecompileFailed.
int PrintProjectOptions(const std::filesystem::path& file, std::ostream& out);

}  // namespace corvina::workshop
