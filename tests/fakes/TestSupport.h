#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
// Replaces the first occurrence of `from` in the file with `to`, of the same length: a
// directory name of a compiled help file, for one.
void PatchFileBytes(const std::filesystem::path& path, std::string_view from, std::string_view to);
std::vector<std::byte> Bytes(std::string_view text);
// Everything written to the stream so far (a temporary file standing in for a console).
std::string StreamContents(std::FILE* file);

// What a program run by RunProgram printed and how it ended (-1: it could not be started or
// was ended by a signal).
struct ProgramRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs a program (no shell) in the folder, with stdin from /dev/null, and waits for it. The
// environment is the test's own (TempDir has pointed XDG_CONFIG_HOME into its folder).
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::filesystem::path& folder = {});

// A built program of ours, by name (corvina, hhc, hh).
std::string BuiltProgram(std::string_view name);
std::filesystem::path TestDataPath(std::string_view relative);

// chmcmd and chmls come with Debian's fp-utils, the cross-check tools: nothing of ours needs
// them, so a test that reads or writes with them skips when they are absent.
bool HaveFpUtils();
inline constexpr const char* kNoFpUtils = "chmcmd and chmls (package fp-utils) are not installed";

// Compares a whole file with its golden copy under tests/data/ and reports the first offset
// that differs. CORVINA_UPDATE_GOLDEN=1 rewrites the golden file instead.
::testing::AssertionResult MatchesGolden(std::string_view actual, std::string_view golden_relative);

}  // namespace corvina::testing
