#include <stdlib.h>

#include <chrono>
#include <thread>

#include "tests/integration/Chain.h"

namespace corvina::chain {
namespace {

// The command line as a new user meets it: a corvina of its own (a copy, so that its
// siblings are the test's), a site, and settings that start empty.
class CommandLineTest : public ChainTest {
 protected:
  void SetUp() override {
    CopySite();
    corvina_ = (dir_ / "bin" / "corvina").string();
    fs::create_directories(dir_ / "bin");
    fs::copy_file(BuiltProgram("corvina"), corvina_);
    fs::create_symlink(BuiltProgram("hhc"), dir_ / "bin" / "hhc");
  }
};

// The site is reached through a symbolic link, too.
TEST_F(CommandLineTest, FirstRunUsesAndRecordsTheCompilerBesideCorvina) {
  fs::create_directory_symlink(site_, dir_ / "link");
  ProgramRun first =
      Corvina({"compile", (dir_ / "link").string(), "-o", chm_.string(), "--no-open"});
  EXPECT_EQ(first.exit_code, 0) << first.out << first.err;
  EXPECT_NE(first.err.find("Corvina: no help compiler was recorded; using " +
                           (dir_ / "bin" / "hhc").string() + " and recording its folder\n"),
            std::string::npos)
      << first.err;
  EXPECT_TRUE(fs::exists(chm_));
  ProgramRun second = Compile({"--no-open"});
  EXPECT_EQ(second.exit_code, 0) << second.err;
  EXPECT_EQ(second.err, "");
}

TEST_F(CommandLineTest, InAPipelineTheViewerOpensOnlyWhenAskedFor) {
  const fs::path opened = dir_ / "opened.txt";
  Script(dir_ / "bin" / "hh", "#!/bin/sh\necho \"$1\" >> '" + opened.string() + "'\n");
  const char* old_display = ::getenv("DISPLAY");
  const std::string kept = old_display != nullptr ? old_display : "";
  ::setenv("DISPLAY", ":99", 1);
  // Standard output is a file here, as in a pipeline: the saved "open" setting (on by
  // default) does not open a viewer; --open does.
  ProgramRun unasked = Compile({"-o", (dir_ / "unasked.chm").string(), "--yes"});
  ProgramRun asked = Compile({"-o", (dir_ / "asked.chm").string(), "--open", "--yes"});
  if (old_display != nullptr) {
    ::setenv("DISPLAY", kept.c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
  EXPECT_EQ(unasked.exit_code, 0) << unasked.err;
  ASSERT_EQ(asked.exit_code, 0) << asked.err;
  // The viewer runs detached; its line is waited for, and then the first run's would be there.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadFileBytes(opened).find("asked.chm") == std::string::npos &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFileBytes(opened), (dir_ / "asked.chm").string() + "\n");
}

TEST_F(CommandLineTest, NamesOutsideWindows1252CompileUnderOneName) {
  const fs::path site = dir_ / "\xE6\xBC\xA2\xE5\xAD\x97";  // a folder named in Chinese
  fs::rename(site_, site);
  // The home page's label gives the title, and the title the output's name.
  const std::string title = "Caf\xC3\xA9 \xE2\x82\xAC \xE6\xBC\xA2";
  const std::string outline = ReadFileBytes(site / "navigation.txt");
  ASSERT_TRUE(outline.starts_with("index.htm\n"));
  WriteFileBytes(site / "navigation.txt", title + " | " + outline);
  for (int run = 0; run < 2; ++run) {
    ProgramRun compiled = Corvina({"compile", site.string(), "--no-open"});
    EXPECT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
  }
  // The output is named as the title is: the name saved, made and opened is one.
  EXPECT_TRUE(fs::exists(site / (title + ".CHM")));
  size_t help_files = 0;
  for (const auto& entry : fs::directory_iterator(site))
    help_files += entry.path().extension() == ".CHM" ? 1 : 0;
  EXPECT_EQ(help_files, 1u);
}

}  // namespace
}  // namespace corvina::chain
