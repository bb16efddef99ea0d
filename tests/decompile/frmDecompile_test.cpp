#include "decompile/frmDecompile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "compiler/CSpawnConsoleApp.h"
#include "compiler/frmHHC.h"
#include "mainwindow/frmMain.h"
#include "platform/IDialogs.h"
#include "platform/Platform.h"
#include "platform/PosixFileSystem.h"
#include "platform/PosixProcessRunner.h"
#include "testing/FakeProcessRunner.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeHelpViewer.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeMessageLoop.h"
#include "tests/fakes/FakeSettingsStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using Write = FakeSettingsStore::Write;

class frmDecompileTest : public ::testing::Test {
 protected:
  ~frmDecompileTest() override {
    Forms<frmHHC>().Unload();
    Forms<frmDecompile>().Unload();
    Forms<frmMain>().Unload();
  }

  void Store(std::string_view key, std::string_view value) {
    settings_.values[{"Corvina", "Decompile", std::string(key)}] = value;
  }

  // The window as the host command opens it: loaded with its saved settings.
  frmDecompile& Open() { return Loaded<frmDecompile>(); }

  testing::TempDir temp_;
  FakeMessageBoxes boxes_;
  FakeMessageLoop loop_;
  FakeProcessRunner runner_;
  FakeRegistryStore registry_;
  FakeSettingsStore settings_;
  FakeDialogs dialogs_;
  FakeHelpViewer help_;
  PosixFileSystem files_;
  ScopedPlatform scoped_{Platform{.message_boxes = &boxes_,
                                  .file_system = &files_,
                                  .registry = &registry_,
                                  .settings = &settings_,
                                  .processes = &runner_,
                                  .dialogs = &dialogs_,
                                  .message_loop = &loop_,
                                  .help_viewer = &help_}};
};

TEST_F(frmDecompileTest, RestoresAndSavesItsSettingsInOrder) {
  Store("LEFT", "1200");
  Store("HEIGHT", "2000.5");
  Store("TOP", "900");
  Store("WIDTH", "6000");
  Store("FILE", "/help/My Guide.chm");
  Store("DIR", "/out");
  Store("TOFPSITE", "0");
  frmDecompile& form = Open();
  EXPECT_EQ(form.Left, 1200);
  EXPECT_EQ(form.Height, 2000.5);
  EXPECT_EQ(form.Top, 900);
  EXPECT_EQ(form.Width, 6000);
  EXPECT_EQ(form.suiParams["FILE"].Value, "/help/My Guide.chm");
  EXPECT_EQ(form.suiParams["FILE"].ToolTipText, "/help/My Guide.chm");
  EXPECT_EQ(form.suiParams["DIR"].ToolTipText, "/out");
  EXPECT_FALSE(form.suiParams["TOFPSITE"].Checked);

  form.Left = 300;
  form.suiParams["DIR"].Value = "/elsewhere";
  form.suiButtons.PressButton("CLOSE");
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(settings_.writes, (std::vector<Write>{
                                  {"Corvina", "Decompile", "LEFT", "300"},
                                  {"Corvina", "Decompile", "HEIGHT", "2000.5"},
                                  {"Corvina", "Decompile", "TOP", "900"},
                                  {"Corvina", "Decompile", "WIDTH", "6000"},
                                  {"Corvina", "Decompile", "FILE", "/help/My Guide.chm"},
                                  {"Corvina", "Decompile", "DIR", "/elsewhere"},
                                  {"Corvina", "Decompile", "TOFPSITE", "0"},
                              }));
  // Reopened, the window shows what it saved.
  EXPECT_EQ(Open().suiParams["DIR"].Value, "/elsewhere");
  EXPECT_EQ(Open().Left, 300);
}

TEST_F(frmDecompileTest, LaysOutButtonsAndFields) {
  struct Case {
    float bar;
    float spacer;
    float panel;
    float file, dir, option;
  };
  const Case cases[] = {
      {4800, 1875, 4800, 4125, 4650, 3600},
      {3000, 75, 3000, 2325, 2850, 1800},
      {2000, 15, 1000, 325, 850, 0},  // too narrow: the spacer keeps 15, no negative widths
      {0, 15, 100, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bar);
    frmDecompile& form = Open();
    form.suiButtons.Width = c.bar;
    form.suiParams.Width = c.panel;
    form.Resized();
    EXPECT_EQ(form.suiButtons["SPACE"].Width, c.spacer);
    EXPECT_EQ(form.suiParams["FILE"].Width, c.file);
    EXPECT_EQ(form.suiParams["DIR"].Width, c.dir);
    EXPECT_EQ(form.suiParams["TOFPSITE"].Width, c.option);
    form.Unload();
  }
}

TEST_F(frmDecompileTest, DecompileCreatesTheFolderAndRunsHhThere) {
  const fs::path input = temp_ / "Help Files" / "guide.chm";
  testing::WriteFileBytes(input, "ITSF");
  const fs::path output = temp_ / "My Output";
  frmDecompile& form = Open();
  form.suiParams["FILE"].Value = input.string();
  form.suiParams["DIR"].Value = output.string();
  form.suiButtons.PressButton("DECOMPILE");

  EXPECT_TRUE(fs::is_directory(output));
  ASSERT_EQ(runner_.started.size(), 1u);
  EXPECT_EQ(runner_.started[0].command_line,
            "\"hh\" -decompile \"" + output.string() + "\" \"" + input.string() + "\"");
  EXPECT_EQ(runner_.started[0].working_directory, output.string());
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_FALSE(Forms<frmHHC>().IsLoaded());
  EXPECT_EQ(
      settings_.KeysWritten("Decompile"),
      (std::vector<std::string>{"LEFT", "HEIGHT", "TOP", "WIDTH", "FILE", "DIR", "TOFPSITE"}));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(frmDecompileTest, MissingInputOnlySaysSo) {
  fs::create_directories(temp_ / "folder.chm");
  for (const fs::path& input : {temp_ / "none.chm", temp_ / "folder.chm", fs::path()}) {
    SCOPED_TRACE(input);
    boxes_.shown.clear();
    frmDecompile& form = Open();
    form.suiParams["FILE"].Value = input.string();
    form.suiParams["DIR"].Value = (temp_ / "out").string();
    form.suiButtons.PressButton("DECOMPILE");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, input.empty() ? "Can not find input file"
                                                  : "Can not find input file: " + input.string());
    EXPECT_EQ(boxes_.shown[0].icon, Icon::kCritical);
    EXPECT_EQ(boxes_.shown[0].buttons, Buttons::kOk);
    EXPECT_EQ(boxes_.shown[0].caption, "Corvina");
    EXPECT_FALSE(form.IsLoaded());
  }
  EXPECT_TRUE(runner_.started.empty());
  EXPECT_FALSE(fs::exists(temp_ / "out"));
}

TEST_F(frmDecompileTest, AnOutputFolderThatCannotBeMadeIsReportedAndNothingRuns) {
  testing::WriteFileBytes(temp_ / "in.chm", "ITSF");
  frmDecompile& form = Open();
  form.suiParams["FILE"].Value = (temp_ / "in.chm").string();
  form.suiParams["DIR"].Value = (temp_ / "missing" / "out").string();
  form.Decompile();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_NE(boxes_.shown[0].text.find("\r\nin Sitepack.frmDecompile.Decompile at line "),
            std::string::npos)
      << boxes_.shown[0].text;
  EXPECT_TRUE(runner_.started.empty());
  EXPECT_FALSE(Forms<frmHHC>().IsLoaded());
  EXPECT_FALSE(form.IsLoaded());
}

}  // namespace
}  // namespace corvina
