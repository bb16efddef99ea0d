#include "platform/PosixProcessRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>

#include "platform/CommandLine.h"
#include "platform/HhProgramHelpViewer.h"
#include "platform/UniqueFd.h"
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

TEST(FindProgramTest, BareNameLooksInOwnFolderFirstAndMissingOrUnrunnableProgramsFail) {
  // The suites land beside the helper child, so its bare name resolves without PATH.
  EXPECT_EQ(FindProgram("corvina_test_child").value_or({}), std::filesystem::path(kChild));
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

ChildRun RunChild(const std::string& arguments, const std::string& directory = {},
                  ProcessStreams streams = ProcessStreams::kPipe) {
  PosixProcessRunner runner;
  ProcessStart start = runner.Start({.command_line = "\"" + kChild + "\" " + arguments,
                                     .working_directory = directory,
                                     .streams = streams});
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
      {{.command_line = "\"" + (dir / "missing").string() + "\" x"}, 2},
      {{.command_line = "no-such-program-anywhere"}, 2},
      {{.command_line = ""}, 2},
      {{.command_line = "\"" + kChild + "\"",
        .working_directory = (dir / "no-such-folder").string()},
       267},
      {{.command_line = "no-such-program-anywhere", .streams = ProcessStreams::kTerminal}, 2},
      {{.command_line = "no-such-program-anywhere", .detached = true}, 2},
      {{.command_line = "\"" + kChild + "\"",
        .working_directory = (dir / "no-such-folder").string(),
        .detached = true},
       267},
  };
  for (const auto& [options, number] : cases) {
    SCOPED_TRACE(options.command_line);
    ProcessStart start = runner.Start(options);
    EXPECT_EQ(start.child, nullptr);
    EXPECT_EQ(start.failure.step, ProcessStartFailure::Step::kProcess);
    EXPECT_EQ(start.failure.system_error, number);
  }
}

// Everything written to `fd` until every writer has closed it, waiting at most a minute for each
// piece.
std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[256];
  while (true) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 60'000) <= 0) {
      ADD_FAILURE() << "no end of output within a minute";
      return text;
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

TEST(PosixProcessRunnerTest, ArgumentListIsPassedAsItIs) {
  PosixProcessRunner runner;
  ProcessStart start = runner.Start({.arguments = {kChild, "args", "a b", R"("q" \)", ""}});
  ASSERT_NE(start.child, nullptr);
  std::array<std::byte, 256> buffer;
  std::string output;
  for (ProcessRead read; !read.end;) {
    read = start.child->Read(buffer, milliseconds(60'000));
    output.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
  }
  EXPECT_EQ(output, "[a b]\n[\"q\" \\]\n[]\n");
}

TEST(PosixProcessRunnerTest, TerminalChildWritesRawToItsControllingTerminal) {
  // Raw mode: no line feed becomes CR LF. The end of the output is no failure.
  ChildRun run = RunChild(R"(tty out "a\nb\r\n" err "e\n" exit 3)", {}, ProcessStreams::kTerminal);
  EXPECT_EQ(run.output, "tty 111 ctty\na\nb\r\ne\n");
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(RunChild("tty").output.substr(0, 7), "tty 000");
}

TEST(PosixProcessRunnerTest, TerminalChildIsKilledWithItsSession) {
  PosixProcessRunner runner;
  ProcessStart start = runner.Start(
      {.command_line = "\"" + kChild + "\" out ready sleep", .streams = ProcessStreams::kTerminal});
  ASSERT_NE(start.child, nullptr);
  std::array<std::byte, 64> buffer;
  ProcessRead read = start.child->Read(buffer, milliseconds(60'000));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), read.bytes), "ready");
  start.child->Kill();
  std::optional<int32_t> code;
  for (int tries = 0; tries < 120 && !code; ++tries)
    code = start.child->Wait(milliseconds(1'000));
  EXPECT_EQ(code, 128 + SIGTERM);
}

TEST(PosixProcessRunnerTest, InheritedStreamsAreTheCallers) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  UniqueFd read_end(fds[0]);
  UniqueFd write_end(fds[1]);
  PosixProcessRunner runner;
  UniqueFd saved(::dup(STDOUT_FILENO));
  ::dup2(write_end.get(), STDOUT_FILENO);
  ProcessStart start = runner.Start({.command_line = "\"" + kChild + "\" out hello exit 4",
                                     .streams = ProcessStreams::kInherited});
  ::dup2(saved.get(), STDOUT_FILENO);
  ASSERT_NE(start.child, nullptr);
  std::array<std::byte, 64> buffer;
  const ProcessRead read = start.child->Read(buffer, milliseconds(0));
  EXPECT_TRUE(read.end);
  EXPECT_FALSE(read.failed);
  EXPECT_EQ(start.child->Wait(milliseconds(60'000)), 4);
  write_end.reset();
  EXPECT_EQ(ReadToEnd(read_end.get()), "hello");
}

// "PID PARENT SESSION" as the helper child writes them.
std::array<long, 3> ParseIds(const std::string& text) {
  std::array<long, 3> ids{-1, -1, -1};
  std::sscanf(text.c_str(), "%ld %ld %ld", &ids[0], &ids[1], &ids[2]);
  return ids;
}

// The child writes into a pipe whose write end it inherits; the read end sees the end of data
// once the child, which nobody here can wait for, has exited.
struct IdsPipe {
  UniqueFd read_end;
  UniqueFd write_end;
  IdsPipe() {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    read_end.reset(fds[0]);
    write_end.reset(fds[1]);
    ::fcntl(write_end.get(), F_SETFD, 0);
  }
  std::array<long, 3> Ids() {
    write_end.reset();
    return ParseIds(ReadToEnd(read_end.get()));
  }
};

TEST(PosixProcessRunnerTest, DetachedChildIsInANewSessionAndIsNotOurs) {
  IdsPipe pipe;
  PosixProcessRunner runner;
  ProcessStart start = runner.Start(
      {.arguments = {kChild, "ids-to", std::to_string(pipe.write_end.get())}, .detached = true});
  ASSERT_NE(start.child, nullptr);
  std::array<std::byte, 64> buffer;
  EXPECT_TRUE(start.child->Read(buffer, milliseconds(0)).end);
  EXPECT_EQ(start.child->Wait(milliseconds(0)), 0);
  const auto [pid, parent, session] = pipe.Ids();
  EXPECT_GT(pid, 0);
  EXPECT_NE(parent, static_cast<long>(::getpid()));
  EXPECT_NE(session, static_cast<long>(::getsid(0)));
}

TEST(HhProgramHelpViewerTest, StartsTheViewerDetached) {
  IdsPipe pipe;
  HhProgramHelpViewer viewer{std::filesystem::path(kChild)};
  ASSERT_TRUE(
      viewer.HtmlHelp(0, "ids-to", kHhDisplayToc, std::to_string(pipe.write_end.get())).ok());
  const auto [pid, parent, session] = pipe.Ids();
  EXPECT_GT(pid, 0);
  EXPECT_NE(parent, static_cast<long>(::getpid()));
  EXPECT_NE(session, static_cast<long>(::getsid(0)));

  testing::TempDir dir;
  HhProgramHelpViewer missing{dir / "hh"};
  EXPECT_FALSE(missing.HtmlHelp(0, "x.chm", kHhDisplayTopic, "").ok());
}

}  // namespace
}  // namespace corvina
