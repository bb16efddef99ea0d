#include "platform/PosixProcessRunner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/CommandLine.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using std::chrono::milliseconds;

const std::string kChild = std::string(CORVINA_BIN_DIR) + "/corvina_test_child";

TEST(SplitCommandLineTest, FollowsWindowsQuoting) {
  const std::pair<std::string_view, std::vector<std::string>> cases[] = {
      {"", {}},
      {"   ", {}},
      {"hhc", {"hhc"}},
      {R"(hhc "my site/CorA.tmp")", {"hhc", "my site/CorA.tmp"}},
      {R"("/opt/Help Workshop/hhc" CorA.tmp)", {"/opt/Help Workshop/hhc", "CorA.tmp"}},
      {R"("hh" -decompile /out /in.chm)", {"hh", "-decompile", "/out", "/in.chm"}},
      {"a\t b  \t c", {"a", "b", "c"}},
      {R"(p a\\"b c" d)", {"p", R"(a\b c)", "d"}},
      {R"(p a\"b)", {"p", R"(a"b)"}},
      {R"(p a\\\"b)", {"p", R"(a\"b)"}},
      {R"(p a\\b c\d)", {"p", R"(a\\b)", R"(c\d)"}},
      {R"(p "a""b" c)", {"p", R"(a"b)", "c"}},
      {R"(p "" x)", {"p", "", "x"}},
      {R"(p "unterminated arg)", {"p", "unterminated arg"}},
      {R"(p a"b c"d)", {"p", "ab cd"}},
      // The program name knows no backslash rules.
      {R"("C:\dir\"x y)", {R"(C:\dir\)", "x", "y"}},
      {R"(C:\a\"b c)", {R"(C:\a\"b)", "c"}},
      {R"(  lead   trail  )", {"lead", "trail"}},
  };
  for (const auto& [line, args] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(SplitCommandLine(line), args);
  }
}

TEST(FindProgramTest, BareNameLooksInOwnFolderFirst) {
  // The suites land beside the helper child, so its bare name resolves without PATH.
  Result<std::filesystem::path> found = FindProgram("corvina_test_child");
  ASSERT_TRUE(found.ok()) << found.error().description;
  EXPECT_EQ(*found, std::filesystem::path(kChild));
}

TEST(FindProgramTest, MissingAndUnrunnablePrograms) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "not-executable", "#!/bin/sh\n");
  const std::pair<std::string, int32_t> cases[] = {
      {"no-such-program-anywhere", 2},
      {(dir / "missing").string(), 2},
      {dir.path().string(), 2},  // a folder is no program
      {(dir / "not-executable").string(), 5},
      {"", 2},
  };
  for (const auto& [name, number] : cases) {
    SCOPED_TRACE(name);
    Result<std::filesystem::path> found = FindProgram(name);
    ASSERT_FALSE(found.ok());
    EXPECT_EQ(found.error().number, number);
  }
}

// Runs the helper child with the runner and collects everything it writes.
struct ChildRun {
  std::string output;
  int32_t exit_code = -1;
};

ChildRun RunChild(const std::string& arguments, const std::string& directory = {}) {
  PosixProcessRunner runner;
  ProcessStart start = runner.Start({"\"" + kChild + "\" " + arguments, directory});
  ChildRun run;
  if (!start.child) {
    ADD_FAILURE() << "start failed: " << start.failure.system_error;
    return run;
  }
  std::array<std::byte, 4096> buffer;
  while (true) {
    ProcessRead read = start.child->Read(buffer, milliseconds(60'000));
    run.output.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
    if (read.end) break;
  }
  std::optional<int32_t> code;
  while (!(code = start.child->Wait(milliseconds(60'000)))) {
  }
  run.exit_code = *code;
  return run;
}

TEST(PosixProcessRunnerTest, ArgumentsWorkingFolderAndExitCode) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "a b");
  ChildRun run = RunChild(R"(cwd args "x y" a\"b "" exit 7)", (dir / "a b").string());
  EXPECT_EQ(run.output, (dir / "a b").string() + "\n[x y]\n[a\"b]\n[]\n[exit]\n[7]\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(RunChild("exit 7").exit_code, 7);
}

TEST(PosixProcessRunnerTest, StartFailuresNameTheStepAndNumber) {
  testing::TempDir dir;
  PosixProcessRunner runner;
  const std::pair<ProcessStartOptions, int32_t> cases[] = {
      {{"\"" + (dir / "missing").string() + "\" x", ""}, 2},
      {{"no-such-program-anywhere", ""}, 2},
      {{"", ""}, 2},
      {{"\"" + kChild + "\"", (dir / "no-such-folder").string()}, 267},
  };
  for (const auto& [options, number] : cases) {
    SCOPED_TRACE(options.command_line);
    ProcessStart start = runner.Start(options);
    EXPECT_EQ(start.child, nullptr);
    EXPECT_EQ(start.failure.step, ProcessStartFailure::Step::kProcess);
    EXPECT_EQ(start.failure.system_error, number);
  }
}

}  // namespace
}  // namespace corvina
