#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace corvina::chm::readback {

// Every file of a .chm (names ending in "/" left out) with its bytes, as one reader sees it.
// `error` is empty when the reader opened the file and read everything without complaint.
struct ChmContents {
  std::map<std::string, std::string> files;
  std::vector<std::string> warnings;  // anything the reader reported on the way
  std::string error;
};

// libchm: enumerates every directory entry and retrieves each file.
ChmContents ReadWithLibchm(const std::filesystem::path& chm);
// libchm: looks `name` up through the index (as given, in any letter case) and retrieves it.
bool LookUpWithLibchm(const std::filesystem::path& chm, const std::string& name,
                      std::string& bytes);

// libmspack: full open, then extracts every file (system files included).
ChmContents ReadWithLibmspack(const std::filesystem::path& chm);
// libmspack: fast_open, then fast_find of each name; returns the names it could not find or
// whose extracted bytes differ from `expected`.
std::vector<std::string> FastFindWithLibmspack(const std::filesystem::path& chm,
                                               const std::map<std::string, std::string>& expected);

}  // namespace corvina::chm::readback
