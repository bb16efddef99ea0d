#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::BuiltProgram;
using testing::ProgramRun;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// What a build pipeline reads from `corvina compile`: with --quiet only the compiler's
// numbered messages, with --diagnostics=gnu in the form editors and CI annotate.
class PipelineOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testing::TestDataPath("sites/basic"), site_, fs::copy_options::recursive);
    WriteFileBytes(site_ / "guide/setup.htm",
                   "<html><head><title>Setup</title></head>\n<body>\n"
                   "<p><a href=\"gone.htm\">gone</a></p>\n</body></html>\n");
    ASSERT_EQ(RunProgram({BuiltProgram("corvina"), "setup"}).exit_code, 0);
  }

  ProgramRun Compile(std::vector<std::string> options) {
    std::vector<std::string> argv = {BuiltProgram("corvina"),     "compile",   site_.string(), "-o",
                                     (dir_ / "out.chm").string(), "--no-open", "--yes"};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunProgram(argv);
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
};

TEST_F(PipelineOutputTest, QuietGnuRunPrintsOnlyTheWarningAtItsPlace) {
  const std::string message =
      "HHC4001: Found file guide/gone.htm while scanning guide/setup.htm, but couldn't find it "
      "on disk\n";
  ProgramRun run = Compile({"-q", "--diagnostics=gnu"});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.out, "guide/setup.htm:3: warning: " + message);
  // stderr keeps the warnings' summary, and no progress figure.
  EXPECT_EQ(run.err.find("%"), std::string::npos) << run.err;

  run = Compile({"--quiet"});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.out, "HHC4001: Warning: " + message.substr(9));

  // Without --quiet the progress lines stay, the message among them rewritten.
  run = Compile({"--diagnostics=gnu"});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.out.find("\nguide/setup.htm:3: warning: " + message), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Processing"), std::string::npos) << run.out;
}

TEST_F(PipelineOutputTest, BadDiagnosticsFormIsAUsageError) {
  ProgramRun run = Compile({"--diagnostics=msvc"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, "Corvina: --diagnostics takes gnu or hhc\nTry 'corvina --help'.\n");
}

}  // namespace
}  // namespace corvina
