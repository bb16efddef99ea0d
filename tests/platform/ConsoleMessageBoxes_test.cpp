#include "platform/ConsoleMessageBoxes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/ErrorReport.h"

namespace corvina {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;)
    text += static_cast<char>(c);
  return text;
}

MessageBoxRequest Report(std::string description, std::string_view trailer) {
  MessageBoxRequest request{description + std::string(trailer), "Corvina"};
  request.trailer_at = description.size();
  return request;
}

TEST(ConsoleMessageBoxesTest, AReportIsToldOnceAndItsTrailerOnlyWhenAsked) {
  const std::string damaged = "registry database /c/registry.db is damaged";
  for (const bool verbose : {false, true}) {
    SCOPED_TRACE(verbose ? "verbose" : "plain");
    std::unique_ptr<std::FILE, FileCloser> err(std::tmpfile());
    ConsoleMessageBoxes boxes(ConsoleMessageBoxes::Policy::kNo, err.get());
    boxes.show_trailers = verbose;
    int cleared = 0;
    boxes.before_show = [&cleared] { ++cleared; };
    boxes.Show(Report(damaged, "\r\nin Sitepack.frmMain.BuildUI at line 30"));
    boxes.Show(Report(damaged, "\r\nin Sitepack.frmMain.BuildUI at line 44"));
    boxes.Show(Report("CRegistry component failure: " + damaged,
                      "\r\nin Sitepack.frmMain.GetWorkShopPath at line 9"));
    boxes.Show(Report("Path not found: /s/x.tmp", "\r\nin Sitepack.Globals.WriteFile at line 4"));
    boxes.Show(MessageBoxRequest{"Output file is locked.\r\nCan I try to close it?", "Corvina",
                                 Buttons::kYesNo});
    if (verbose) {
      EXPECT_EQ(Contents(err.get()),
                "Corvina: " + damaged +
                    "\nin Sitepack.frmMain.BuildUI at line 30\n"
                    "Corvina: " +
                    damaged +
                    "\nin Sitepack.frmMain.BuildUI at line 44\n"
                    "Corvina: CRegistry component failure: " +
                    damaged +
                    "\nin Sitepack.frmMain.GetWorkShopPath at line 9\n"
                    "Corvina: Path not found: /s/x.tmp\nin Sitepack.Globals.WriteFile at line 4\n"
                    "Corvina: Output file is locked.\nCan I try to close it? [no]\n");
      EXPECT_EQ(cleared, 5);
    } else {
      EXPECT_EQ(Contents(err.get()),
                "Corvina: " + damaged +
                    "\n"
                    "Corvina: Path not found: /s/x.tmp\n"
                    "Corvina: Output file is locked.\nCan I try to close it? [no]\n");
      EXPECT_EQ(cleared, 3);
    }
  }
}

}  // namespace
}  // namespace corvina
