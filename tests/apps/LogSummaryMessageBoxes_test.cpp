#include "apps/cli/LogSummaryMessageBoxes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvina {
namespace {

TEST(LogSummaryMessageBoxesTest, CountsTheLogsMessagesInsteadOfRepeatingThem) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"There are errors and warnings while compiling.\r\nWarning: a\r\r\nError: b\r",
       "There are errors and warnings while compiling: 1 warning and 1 error, as the "
       "compiler's log shows."},
      {"There are errors and warnings while compiling.\r\nWarning: a\r\r\nWarning: b\r\r\n"
       "Warning: c\r",
       "There are errors and warnings while compiling: 3 warnings and 0 errors, as the "
       "compiler's log shows."},
      {"There are warnings while compiling.\r\nWarning: a\r",
       "There are warnings while compiling: 1 warning and 0 errors, as the compiler's log "
       "shows."},
      {"Output file is locked.", "Output file is locked."},
  };
  for (const auto& [text, shown] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(LogSummaryMessageBoxes::Shorten(text), shown);
  }
}

}  // namespace
}  // namespace corvina
