#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace corvina::testing {

// A fresh folder for one test, removed when the test ends (also when it fails). It points
// XDG_CONFIG_HOME into itself, so that no test touches the user's own settings.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
  std::string old_config_;
  bool had_config_ = false;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);
std::filesystem::path TestDataPath(std::string_view relative);

// Compares a whole file with its golden copy under tests/data/ and reports the first offset
// that differs. CORVINA_UPDATE_GOLDEN=1 rewrites the golden file instead.
::testing::AssertionResult MatchesGolden(std::string_view actual, std::string_view golden_relative);

}  // namespace corvina::testing
