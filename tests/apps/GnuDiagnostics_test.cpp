#include "apps/cli/GnuDiagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/fakes/TestSupport.h"

namespace corvina::cli {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

TEST(GnuDiagnosticsTest, NamesTheSiteFileAndTheLineOfTheBrokenLink) {
  TempDir site;
  WriteFileBytes(site / "guide/setup.htm",
                 "<html>\n<body>\n<p><a href=\"../intro.htm\">x</a>\n<img src=\"pic.gif\">\n");
  WriteFileBytes(site / "My Page.htm", "<p>\n");
  const GnuDiagnostics gnu(site.path(),
                           {"My Page.htm", "guide/intro.htm", "guide/setup.htm", "setup.htm"});
  const std::pair<std::string, std::string> cases[] = {
      {"HHC4001: Warning: Found file guide/pic.gif while scanning guide/setup.htm, but couldn't "
       "find it on disk",
       "guide/setup.htm:4: warning: HHC4001: Found file guide/pic.gif while scanning "
       "guide/setup.htm, but couldn't find it on disk"},
      // The longest name wins; a name the page does not hold gives line 1.
      {"HHC4001: Warning: Found file gone.htm while scanning /x/guide/setup.htm, but couldn't "
       "find it on disk",
       "guide/setup.htm:1: warning: HHC4001: Found file gone.htm while scanning "
       "/x/guide/setup.htm, but couldn't find it on disk"},
      {"HHC4003: Warning: The page My Page.htm could not be parsed.",
       "My Page.htm:1: warning: HHC4003: The page My Page.htm could not be parsed."},
      {"HHC6002: Error: The file \"setup.htm\" does not exist.",
       "setup.htm:1: error: HHC6002: The file \"setup.htm\" does not exist."},
      {"HHC4005: Warning: No full-text search.", "corvina: warning: HHC4005: No full-text search."},
      // A bare file name stands for the one site file of that name.
      {"HHC4009: Warning: Duplicate anchor x found while scanning intro.htm",
       "guide/intro.htm:1: warning: HHC4009: Duplicate anchor x found while scanning intro.htm"},
      {"HHC4009: Warning: Duplicate anchor x found while scanning Page.htm",
       "corvina: warning: HHC4009: Duplicate anchor x found while scanning Page.htm"},
      // Part of a longer name is no name.
      {"HHC4009: Warning: My Page.html.bak is odd\r",
       "corvina: warning: HHC4009: My Page.html.bak is odd"},
  };
  for (const auto& [line, expected] : cases) {
    SCOPED_TRACE(line);
    const std::optional<ToolMessage> message = ParseToolMessage(line);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(gnu.Format(*message), expected);
  }
}

TEST(GnuDiagnosticsTest, OnlyNumberedWarningsAndErrorsAreMessages) {
  for (const char* line : {"Processing guide/setup.htm", "HHC: Warning: x", "HHCx1: Error: y",
                           "HHC4001: Note: z", " HHC4001: Warning: indented", ""}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(ParseToolMessage(line).has_value());
  }
  const std::optional<ToolMessage> error = ParseToolMessage("HHC6011: Error: stopped.");
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, "HHC6011");
  EXPECT_TRUE(error->error);
  EXPECT_EQ(error->text, "stopped.");
}

}  // namespace
}  // namespace corvina::cli
