#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// Runs bash's completion function for the words (the last one being completed) in a folder
// holding two sites, two help files and a text file, and gives COMPREPLY sorted, one a line.
std::string Complete(const fs::path& folder, const std::string& function,
                     const std::string& words) {
  const fs::path script =
      fs::path(CORVINA_TEST_DATA).parent_path().parent_path() / "completion" / "corvina.bash";
  const std::string program = "source '" + script.string() + "'\n" + "COMP_WORDS=(" + words +
                              ")\n" + "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n" + function +
                              " \"${COMP_WORDS[0]}\"\n"
                              "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort\n";
  const ProgramRun run = RunProgram({"/bin/bash", "--norc", "-c", program}, folder);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return run.out;
}

TEST(CompletionTest, OffersCommandsOptionsSiteFoldersAndHelpFiles) {
  TempDir dir;
  fs::create_directories(dir / "site");
  fs::create_directories(dir / "my docs");
  WriteFileBytes(dir / "old.chm", "");
  WriteFileBytes(dir / "NEW.CHM", "");
  WriteFileBytes(dir / "notes.txt", "");
  const std::pair<std::string, std::string> cases[] = {
      {"corvina ''", "--help\n--version\ncompile\ndecompile\nsettings\nsetup\n"},
      {"corvina se", "settings\nsetup\n"},
      {"corvina compile ''", "my docs\nsite\n"},
      {"corvina compile site ''", "\n"},
      {"corvina compile site --no-o", "--no-open\n"},
      {"corvina compile site -o ''", "NEW.CHM\nmy docs\nold.chm\nsite\n"},
      {"corvina compile site --diagnostics = ''", "gnu\nhhc\n"},
      {"corvina settings site --s", "--save-to-site\n"},
      {"corvina decompile ''", "NEW.CHM\nmy docs\nold.chm\nsite\n"},
      {"corvina decompile old.chm ''", "my docs\nsite\n"},
      {"corvina decompile --to-site old.chm m", "my docs\n"},
  };
  for (const auto& [words, expected] : cases) {
    SCOPED_TRACE(words);
    EXPECT_EQ(Complete(dir.path(), "_corvina", words), expected);
  }
  EXPECT_EQ(Complete(dir.path(), "_corvina_hhc", "hhc --engine ''"), "chmcmd\nnative\n");
  EXPECT_EQ(Complete(dir.path(), "_corvina_hh", "hh -decompile ''"), "my docs\nsite\n");
  EXPECT_EQ(Complete(dir.path(), "_corvina_hh", "hh -"),
            "--help\n--version\n-decompile\n-options\n");
}

}  // namespace
}  // namespace corvina
