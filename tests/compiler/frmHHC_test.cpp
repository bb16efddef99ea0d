#include "compiler/frmHHC.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/IFormView.h"
#include "platform/Platform.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/CRegistry.h"
#include "testing/FakeHost.h"
#include "testing/FakeProcessRunner.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeMessageLoop.h"

namespace corvina {
namespace {

constexpr std::string_view kWorkshopKey = "Software\\Microsoft\\HTML Help Workshop";

// Records the progress caption each time the window asks to be drawn.
class RecordingViews : public IFormViews {
 public:
  std::vector<std::string> captions;

  std::unique_ptr<IFormView> CreateView(Form& form) override {
    return std::make_unique<View>(*this, static_cast<frmHHC&>(form));
  }

 private:
  class View : public IFormView {
   public:
    View(RecordingViews& views, frmHHC& form) : views_(views), form_(form) {}
    void Show(bool) override {}
    void Hide() override {}
    void Refresh() override {
      if (unloaded_) ADD_FAILURE() << "the view was drawn after its window unloaded";
      if (views_.captions.empty() || views_.captions.back() != form_.elaProgressCaption) {
        views_.captions.push_back(form_.elaProgressCaption);
      }
    }
    void Unloaded() override { unloaded_ = true; }

   private:
    bool unloaded_ = false;
    RecordingViews& views_;
    frmHHC& form_;
  };
};

class frmHHCTest : public ::testing::Test {
 protected:
  void SetInstallDir(std::string_view folder) {
    CRegistry registry;
    registry.Init(kHkeyCurrentUser);
    ASSERT_TRUE(registry.SetValue(kWorkshopKey, "InstallDir", RegValue(folder)).ok());
  }

  FakeMessageBoxes boxes_;
  FakeMessageLoop loop_;
  FakeProcessRunner runner_;
  FakeRegistryStore registry_;
  RecordingViews views_;
  ScopedPlatform scoped_{Platform{.message_boxes = &boxes_,
                                  .registry = &registry_,
                                  .processes = &runner_,
                                  .message_loop = &loop_,
                                  .form_views = &views_}};
  frmHHC form_;
};

TEST_F(frmHHCTest, CompileRunsQuotedCompilerInTheSiteFolder) {
  SetInstallDir("/opt/HTML Help Workshop");
  runner_.output = {"Processing index.htm\r\n"};
  EXPECT_EQ(form_.Execute("/home/a/My Site", "CorA1.tmp"), 0);
  ASSERT_EQ(runner_.started.size(), 1u);
  EXPECT_EQ(runner_.started[0].command_line, "\"/opt/HTML Help Workshop/hhc\" CorA1.tmp");
  EXPECT_EQ(runner_.started[0].working_directory, "/home/a/My Site");
  EXPECT_EQ(form_.txtOutput(),
            "Starting Microsoft HTML Help Workshop compiler\r\nProcessing index.htm\r\n\r\nDone!");
  EXPECT_EQ(form_.elaProgressCaption, "100 %");
  EXPECT_EQ(form_.elaProgressValue, 100);
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(form_.suiButtons["CLOSE"].Enabled);
  EXPECT_FALSE(form_.MousePointerBusy);
  EXPECT_TRUE(form_.Visible());
}

TEST_F(frmHHCTest, CompileWithoutInstallDirRunsNothing) {
  EXPECT_EQ(form_.Execute("/site", "CorA1.tmp"), 0);
  EXPECT_TRUE(runner_.started.empty());
  EXPECT_EQ(boxes_.texts(),
            (std::vector<std::string>{"Microsoft HTML Help WorkShop must be installed"}));
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kNone);
  EXPECT_EQ(form_.elaProgressCaption, "");
  EXPECT_EQ(form_.txtOutput(), "");
  EXPECT_TRUE(form_.suiButtons["CLOSE"].Enabled);
}

TEST_F(frmHHCTest, MessagesAreSummarisedAndGiveMinusOne) {
  SetInstallDir("/hhw");
  runner_.output = {"HHC3004: Warning: a\r\nsome line\r\n", "hhc5003: Error: b\r\n"};
  EXPECT_EQ(form_.Execute("/site", "p.tmp"), -1);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  // Each group keeps the carriage return that ends its line.
  EXPECT_EQ(boxes_.shown[0].text,
            "There are errors and warnings while compiling.\r\nWarning: a\r\r\nError: b\r");
  EXPECT_EQ(boxes_.shown[0].icon, Icon::kInformation);
  EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
  EXPECT_EQ(form_.elaProgressCaption, "100 %");
  EXPECT_TRUE(form_.txtOutput().ends_with("\r\n\r\nDone!"));
}

TEST_F(frmHHCTest, WarningsAloneAreNotCalledErrors) {
  SetInstallDir("/hhw");
  const std::pair<std::string, std::string> cases[] = {
      {"HHC4001: Warning: a\nHHC4004: warning: b\n",
       "There are warnings while compiling.\r\nWarning: a\r\nwarning: b"},
      {"HHC4001: Warning: a\nHHC6002: Error: b\n",
       "There are errors and warnings while compiling.\r\nWarning: a\r\nError: b"},
      {"HHC6002: Error: b\n", "There are errors and warnings while compiling.\r\nError: b"},
  };
  for (const auto& [log, message] : cases) {
    SCOPED_TRACE(log);
    boxes_.shown.clear();
    runner_.output = {log};
    EXPECT_EQ(form_.Execute("/site", "p.tmp"), -1);
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{message});
  }
}

TEST_F(frmHHCTest, AToolThatFailedOrWasKilledIsNotDone) {
  SetInstallDir("/hhw");
  struct Case {
    bool decompile;
    int32_t exit_code;
    std::string last_line;
  };
  const Case cases[] = {
      {false, 0, "Done!"},
      {false, 1, "hhc failed with exit status 1"},
      {true, 2, "hh failed with exit status 2"},
      {true, 128 + 11, "hh was ended by signal 11"},
      {false, 128 + 9, "hhc was ended by signal 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_line);
    runner_.output = {"1 file extracted\r\n"};
    runner_.exit_code = c.exit_code;
    form_.Decompile = c.decompile;
    EXPECT_EQ(form_.Execute("/site", "p.tmp"), c.exit_code);
    EXPECT_EQ(form_.ExitCode, c.exit_code);
    EXPECT_TRUE(form_.txtOutput().ends_with("1 file extracted\r\n\r\n" + c.last_line))
        << form_.txtOutput();
  }
}

TEST_F(frmHHCTest, ProgressMovesWithLineBreaks) {
  SetInstallDir("/hhw");
  // Each 16-character piece is figured from the lines before it: the first read arrives as
  // "1\r\n2..6" and "\r\n7..9\r\n"; ten lines give 100 with no files, eleven show 99. Our hhc
  // ends its lines with a line feed only; each one counts as a CRLF pair does.
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n", "x", "\r\n", "y", "\r\n", "z"},
       {"", "5 %", "10 %", "60 %", "100 %", "99 %", "100 %"}},
      {{"1\n2\n3\n4\n5\n6\n7\n8\n", "9\n", "x", "\n", "y", "\r\n", "z"},
       {"", "5 %", "10 %", "90 %", "100 %", "99 %", "100 %"}},
  };
  for (const auto& [output, captions] : cases) {
    SCOPED_TRACE(output[0]);
    views_.captions.clear();
    runner_.output = {output.begin(), output.end()};
    form_.Execute("/site", "p.tmp");
    EXPECT_EQ(views_.captions, captions);
  }
}

TEST(frmHHCProgressTest, FigureRoundsHalvesToEvenAndCapsAt99) {
  struct Case {
    uint64_t breaks;
    int32_t files;
    int percent;
  };
  const Case cases[] = {
      {0, 0, 0},    {1, 0, 10},  {10, 0, 100}, {11, 0, 99},  {15, 0, 99},      {1, 40, 2},
      {20, 40, 40}, {1, 190, 0}, {3, 190, 2},  {5, 190, 2},  {7, 190, 4},      {50, 40, 100},
      {51, 40, 99}, {0, -10, 0}, {3, -10, 99}, {1, -11, 99}, {1000000, 0, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.breaks) + " breaks, " + std::to_string(c.files) + " files");
    EXPECT_EQ(frmHHC::ProgressPercent(c.breaks, c.files), c.percent);
  }
}

TEST_F(frmHHCTest, RunningLineCountMatchesWholeTextCount) {
  SetInstallDir("/hhw");
  std::mt19937 random(12345);
  const char alphabet[] = {'\r', '\n', 'a', '\r', '\n'};
  std::string text;
  for (int i = 0; i < 5000; ++i)
    text += alphabet[random() % sizeof alphabet];
  for (size_t at = 0; at < text.size();) {
    size_t length = 1 + random() % 40;
    runner_.output.push_back(text.substr(at, length));
    at += length;
  }
  form_.Execute("/site", "p.tmp");
  const std::string& log = form_.txtOutput();
  const uint64_t count = std::count(log.begin(), log.end(), '\n');
  EXPECT_EQ(form_.LineBreaks(), count);
  EXPECT_TRUE(log.ends_with(text + "\r\nDone!"));
}

TEST_F(frmHHCTest, UnloadDuringRunEndsToolAndRefreshesSite) {
  SetInstallDir("/hhw");
  FakeWeb web;
  FakeHostApplication host;
  host.web = &web;
  Globals::HostApplication = &host;
  runner_.output = {"a\r\n", "b\r\n", "c\r\n", "d\r\n"};
  loop_.on_events = [this](int call) {
    if (call == 3) form_.Unload();
  };
  form_.Execute("/site", "p.tmp");
  EXPECT_EQ(runner_.kills, 1);
  EXPECT_EQ(web.refreshes, 1);
  EXPECT_FALSE(form_.IsLoaded());
  EXPECT_EQ(form_.txtOutput().find("d\r\n"), std::string::npos);
  Globals::HostApplication = nullptr;
}

}  // namespace
}  // namespace corvina
