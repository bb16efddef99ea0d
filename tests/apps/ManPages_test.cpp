#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using testing::BuiltProgram;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::RunProgram;

// The options a text names: "-x", "--long" or "-word" after a blank, "[", "|", "(" or ",".
std::set<std::string> OptionsIn(const std::string& text) {
  static const std::regex option(R"((?:^|[\s\[|(,])(--?[A-Za-z][A-Za-z0-9-]*))");
  std::set<std::string> options;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it) {
    options.insert((*it)[1].str());
  }
  return options;
}

// A manual page's text as the reader sees it, up to its examples (which may show other
// programs' options): fonts dropped, escapes read.
std::string PageText(const std::string& roff) {
  std::string text = roff.substr(0, roff.find("\n.SH EXAMPLES"));
  text = std::regex_replace(text, std::regex(R"(\\f[BIR])"), "");
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  text = std::regex_replace(text, std::regex(R"(\\&)"), "");
  return text;
}

std::string Version() {
  return std::to_string(CORVINA_VERSION_MAJOR) + "." + std::to_string(CORVINA_VERSION_MINOR) + "." +
         std::to_string(CORVINA_VERSION_PATCH);
}

TEST(ManPagesTest, HelpAndManualPageNameTheSameOptionsAndTheVersion) {
  for (const std::string tool : {"corvina", "hhc", "hh"}) {
    SCOPED_TRACE(tool);
    const ProgramRun version = RunProgram({BuiltProgram(tool), "--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out,
              (tool == "corvina" ? "corvina " : tool + " (Corvina) ") + Version() + "\n");
    const ProgramRun help = RunProgram({BuiltProgram(tool), "--help"});
    ASSERT_EQ(help.exit_code, 0) << help.err;
    const std::filesystem::path page =
        std::filesystem::path(CORVINA_BIN_DIR).parent_path() / "man" / (tool + ".1");
    ASSERT_TRUE(std::filesystem::exists(page)) << page << " is made by the build's man target";
    const std::string roff = ReadFileBytes(page);
    EXPECT_EQ(OptionsIn(PageText(roff)), OptionsIn(help.out))
        << "man/" << tool << ".1.md and " << tool << " --help name different options: an "
        << "option is added or changed in both";
    EXPECT_NE(roff.find("\n.SH EXIT STATUS\n"), std::string::npos);
    EXPECT_NE(roff.find("\n.SH FILES\n"), std::string::npos);
    EXPECT_NE(roff.find("\n.SH ENVIRONMENT\n"), std::string::npos);
    EXPECT_NE(roff.find("\n.SH EXAMPLES\n"), std::string::npos);
    EXPECT_NE(roff.find("\"Corvina " + Version() + "\""), std::string::npos);
  }
}

}  // namespace
}  // namespace corvina
