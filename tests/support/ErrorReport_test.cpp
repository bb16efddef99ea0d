#include "support/ErrorReport.h"

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/fakes/FakeMessageBoxes.h"

namespace corvina {
namespace {

class ErrorReportTest : public ::testing::Test {
 protected:
  FakeMessageBoxes boxes_;
  ScopedPlatform platform_{Platform{.message_boxes = &boxes_}};
};

Status Fails(int32_t number, std::string text) {
  return Error{number, std::move(text)};
}

TEST_F(ErrorReportTest, ReportsEachFailureWithItsLineAndGoesOn) {
  ErrorReport report("frmMain", "Generate");
  const unsigned first = __LINE__ + 1;
  EXPECT_FALSE(report.Check(Fails(70, "Permission denied")));
  EXPECT_TRUE(report.Check(Status::Ok()));
  const unsigned second = __LINE__ + 1;
  const int value = report.Value<int>(Result<int>(Error{53, "File not found"}), 7);
  EXPECT_EQ(value, 7);

  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text,
            "Permission denied\r\nin Sitepack.frmMain.Generate at line " + std::to_string(first));
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(boxes_.shown[0].buttons, Buttons::kOk);
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kNone);
  EXPECT_EQ(boxes_.shown[1].text,
            "File not found\r\nin Sitepack.frmMain.Generate at line " + std::to_string(second));
  EXPECT_EQ(report.last_error().number, 53);
}

TEST_F(ErrorReportTest, IgnoredStretchKeepsTheErrorButShowsNothing) {
  ErrorReport report("frmMain", "Generate");
  report.IgnoreErrors();
  EXPECT_FALSE(report.Check(Fails(70, "Permission denied")));
  EXPECT_EQ(report.last_error().number, 70);
  report.ReportErrors();
  EXPECT_TRUE(boxes_.shown.empty());
  report.Raise(Error{5, "Invalid procedure call or argument"});
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(report.Value<std::string>(std::string("ok")), "ok");
}

}  // namespace
}  // namespace corvina
