#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"

// Running the built hh and chmcmd from the workshop tests.
namespace corvina::hh_testing {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

inline const std::string kHh = std::string(CORVINA_BIN_DIR) + "/hh";

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// Every file below the folder, relative, with its bytes (a symbolic link's target's bytes).
inline std::map<std::string, std::string> FilesBelow(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() || it->is_symlink())
      files[std::filesystem::relative(it->path(), folder).string()] = ReadFileBytes(it->path());
  }
  return files;
}

// A site of pages compiled by chmcmd into <folder>/out.chm.
inline std::filesystem::path CompileSite(const std::filesystem::path& folder,
                                         const std::map<std::string, std::string>& files) {
  std::string project =
      "[OPTIONS]\nCompiled file=out.chm\nDefault topic=index.htm\nTitle=Test Help\n"
      "Full-text search=No\n\n[FILES]\n";
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(folder / name, bytes);
    project += name + "\n";
  }
  WriteFileBytes(folder / "project.hhp", project);
  const testing::ProgramRun compiled =
      testing::RunProgram({"/usr/bin/chmcmd", "project.hhp"}, folder);
  EXPECT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
  EXPECT_TRUE(std::filesystem::exists(folder / "out.chm")) << compiled.out << compiled.err;
  return folder / "out.chm";
}

}  // namespace corvina::hh_testing
