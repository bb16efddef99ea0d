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
#include "tests/fakes/FakeDialogs.h"
#include "tests/fakes/FakeHelpViewer.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeMessageLoop.h"
#include "tests/fakes/FakeProcessRunner.h"
#include "tests/fakes/FakeRegistryStore.h"
#include "tests/fakes/FakeSettingsStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using Write = FakeSettingsStore::Write;

class frmDecompileTest : public ::testing::Test {
 protected:
  frmDecompileTest() : scoped_(MakePlatform()) {}
  ~frmDecompileTest() override {
    Forms<frmHHC>().Unload();
    Forms<frmDecompile>().Unload();
    Forms<frmMain>().Unload();
  }

  Platform MakePlatform() {
    Platform platform;
    platform.message_boxes = &boxes_;
    platform.message_loop = &loop_;
    platform.processes = &runner_;
    platform.registry = &registry_;
    platform.settings = &settings_;
    platform.file_system = &files_;
    platform.dialogs = &dialogs_;
    platform.help_viewer = &help_;
    return platform;
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
  ScopedPlatform scoped_;
};

TEST_F(frmDecompileTest, FirstUseShowsTheTemplateWithDefaults) {
  frmDecompile& form = Open();
  EXPECT_EQ(form.Caption, "Decompile");
  EXPECT_EQ(form.Width, 4890);
  EXPECT_EQ(form.Height, 1665);
  struct Expected {
    const char* key;
    ItemKind kind;
    const char* caption;
    float height;
    float width;
  };
  const Expected params[] = {
      {"", ItemKind::kSeparator, "", 30, 0},
      {"FILE", ItemKind::kBrowseField, "File name:", 315, 1500},
      {"", ItemKind::kSeparator, "", 30, 0},
      {"DIR", ItemKind::kBrowseField, "Output directory:", 315, 1500},
      {"", ItemKind::kSeparator, "", 30, 0},
      {"TOFPSITE", ItemKind::kCheckBox, "Convert to FrontPage site", 255, 2160},
  };
  ASSERT_EQ(form.suiParams.Count(), std::size(params));
  for (size_t i = 0; i < std::size(params); ++i) {
    SCOPED_TRACE(i);
    const Item& item = form.suiParams.At(i + 1);
    EXPECT_EQ(item.Key, params[i].key);
    EXPECT_EQ(item.Kind, params[i].kind);
    EXPECT_EQ(item.Caption, params[i].caption);
    EXPECT_EQ(item.Height, params[i].height);
    EXPECT_EQ(item.Width, params[i].width);
  }
  const Expected buttons[] = {
      {"SPACE", ItemKind::kSpacer, "", 0, 1500},
      {"DECOMPILE", ItemKind::kButton, "Decompile", 330, 1260},
      {"HELP", ItemKind::kButton, "Help", 330, 750},
      {"CLOSE", ItemKind::kButton, "Close", 330, 825},
  };
  const char* images[] = {"", "export", "help", "close"};
  ASSERT_EQ(form.suiButtons.Count(), std::size(buttons));
  for (size_t i = 0; i < std::size(buttons); ++i) {
    SCOPED_TRACE(buttons[i].key);
    const Item& item = form.suiButtons.At(i + 1);
    EXPECT_EQ(item.Key, buttons[i].key);
    EXPECT_EQ(item.Kind, buttons[i].kind);
    EXPECT_EQ(item.Caption, buttons[i].caption);
    EXPECT_EQ(item.Height, buttons[i].height);
    EXPECT_EQ(item.Width, buttons[i].width);
    EXPECT_EQ(item.Image, images[i]);
  }
  EXPECT_EQ(form.suiParams["FILE"].Value, "");
  EXPECT_EQ(form.suiParams["DIR"].Value, "");
  EXPECT_TRUE(form.suiParams["TOFPSITE"].Checked);
  EXPECT_FALSE(form.suiParams["TOFPSITE"].Enabled);
  EXPECT_TRUE(boxes_.shown.empty());
}

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

TEST_F(frmDecompileTest, SavesACheckedOptionAsOne) {
  Open().Unload();
  ASSERT_EQ(settings_.writes.size(), 7u);
  EXPECT_EQ(settings_.writes.back(), (Write{"Corvina", "Decompile", "TOFPSITE", "1"}));
  EXPECT_EQ(settings_.writes[0], (Write{"Corvina", "Decompile", "LEFT", "0"}));
  EXPECT_EQ(settings_.writes[3], (Write{"Corvina", "Decompile", "WIDTH", "4890"}));
}

TEST_F(frmDecompileTest, ReportsUnreadableSettingsAndKeepsTheCurrentValues) {
  Store("WIDTH", "wide");
  Store("TOFPSITE", "perhaps");
  frmDecompile& form = Open();
  EXPECT_EQ(form.Width, 4890);
  EXPECT_FALSE(form.suiParams["TOFPSITE"].Checked);  // the template's state
  ASSERT_EQ(boxes_.shown.size(), 2u);
  for (const MessageBoxRequest& box : boxes_.shown) {
    EXPECT_TRUE(
        box.text.starts_with("Type mismatch\r\nin Sitepack.frmDecompile.Form_Load at line "))
        << box.text;
    EXPECT_EQ(box.caption, "Corvina");
  }
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

TEST_F(frmDecompileTest, DecompileIntoAnExistingFolderCreatesNothing) {
  testing::WriteFileBytes(temp_ / "in.chm", "ITSF");
  fs::create_directories(temp_ / "out");
  testing::WriteFileBytes(temp_ / "out" / "keep.htm", "kept");
  frmDecompile& form = Open();
  form.suiParams["FILE"].Value = (temp_ / "in.chm").string();
  form.suiParams["DIR"].Value = (temp_ / "out").string();
  form.Decompile();
  ASSERT_EQ(runner_.started.size(), 1u);
  EXPECT_EQ(runner_.started[0].command_line,
            "\"hh\" -decompile " + (temp_ / "out").string() + " " + (temp_ / "in.chm").string());
  EXPECT_EQ(testing::ReadFileBytes(temp_ / "out" / "keep.htm"), "kept");
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
    EXPECT_EQ(boxes_.shown[0].text, "Can not find input file");
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

TEST_F(frmDecompileTest, HelpOpensTheProductsHelpFile) {
  frmDecompile& form = Open();
  form.suiButtons.PressButton("HELP");
  ASSERT_EQ(help_.requests.size(), 1u);
  EXPECT_TRUE(help_.requests[0].file.ends_with("/Corvina.CHM")) << help_.requests[0].file;
  EXPECT_EQ(help_.requests[0].command, kHhDisplayTopic);
  EXPECT_EQ(help_.requests[0].topic, "index.html");
  EXPECT_TRUE(form.IsLoaded());
}

TEST_F(frmDecompileTest, ButtonsOtherThanTheCommandsDoNothing) {
  frmDecompile& form = Open();
  form.suiButtons.PressButton("SPACE");
  form.suiParams.PressBrowse("TOFPSITE");
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_TRUE(dialogs_.file_requests.empty());
  EXPECT_TRUE(dialogs_.folder_requests.empty());
}

TEST_F(frmDecompileTest, BrowseFileAsksForAHelpFileAndKeepsTheChoice) {
  frmDecompile& form = Open();
  form.suiParams["FILE"].Value = "/old/guide.chm";
  dialogs_.file_answers = {FakeDialogs::Cancel(), FakeDialogs::Choose("/new/other.chm")};
  form.suiParams.PressBrowse("FILE");
  EXPECT_EQ(form.suiParams["FILE"].Value, "/old/guide.chm");
  form.suiParams.PressBrowse("FILE");
  EXPECT_EQ(form.suiParams["FILE"].Value, "/new/other.chm");
  EXPECT_EQ(form.suiParams["FILE"].ToolTipText, "/new/other.chm");

  ASSERT_EQ(dialogs_.file_requests.size(), 2u);
  const FileDialogRequest& request = dialogs_.file_requests[0];
  EXPECT_FALSE(request.save);
  EXPECT_EQ(request.owner, form.hWnd());
  EXPECT_EQ(request.title, "Select input file");
  EXPECT_EQ(request.filter_index, 1);
  EXPECT_EQ(request.filter,
            std::string("Microsoft HTML Help (*.CHM)\0*.CHM\0All(*.*)\0*.*\0\0", 48));
  EXPECT_EQ(request.flags & kOfnFileMustExist, kOfnFileMustExist);
  EXPECT_EQ(request.flags & (kOfnAllowMultiSelect | kOfnReadOnly | kOfnHideReadOnly), 0u);
  EXPECT_EQ(request.default_extension, "*.CHM");
  EXPECT_EQ(request.initial_folder, "");
  EXPECT_TRUE(request.file.starts_with(std::string("/old/guide.chm\0", 15)));
  EXPECT_TRUE(request.file_title.starts_with(std::string("Input file\0", 11)));
}

TEST_F(frmDecompileTest, BrowseDirectoryKeepsAChosenFolder) {
  frmDecompile& form = Open();
  form.suiParams["DIR"].Value = "/old";
  dialogs_.folder_answers = {std::nullopt, std::string(""), std::string("/chosen/out")};
  for (int i = 0; i < 2; ++i) {
    form.suiParams.PressBrowse("DIR");
    EXPECT_EQ(form.suiParams["DIR"].Value, "/old");
  }
  form.suiParams.PressBrowse("DIR");
  EXPECT_EQ(form.suiParams["DIR"].Value, "/chosen/out");
  EXPECT_EQ(form.suiParams["DIR"].ToolTipText, "/chosen/out");
  ASSERT_EQ(dialogs_.folder_requests.size(), 3u);
  EXPECT_EQ(dialogs_.folder_requests[0].title, "Select output directory");
  EXPECT_EQ(dialogs_.folder_requests[0].owner, form.hWnd());
}

// The whole road: a site compiled by chmcmd, decompiled from the window through the real runner
// and our hh (found beside this test program), into a folder whose name holds a blank.
TEST_F(frmDecompileTest, DecompilesACompiledSiteThroughTheRealTools) {
  const fs::path site = temp_ / "site";
  testing::WriteFileBytes(site / "index.htm", "<html><head><title>Home</title></head></html>");
  testing::WriteFileBytes(site / "img" / "a.gif", std::string("GIF89a\0\x01", 8));
  testing::WriteFileBytes(site / "p.hhp",
                          "[OPTIONS]\nCompiled file=Guide File.chm\nTitle=Guide\n\n"
                          "[FILES]\nindex.htm\nimg/a.gif\n");
  PosixProcessRunner real_runner;
  Platform platform = MakePlatform();
  platform.processes = &real_runner;
  ScopedPlatform real(platform);
  ASSERT_EQ(CSpawnConsoleApp().ExecuteApp("chmcmd p.hhp", site.string()), 0);

  frmDecompile& form = Open();
  form.suiParams["FILE"].Value = (site / "Guide File.chm").string();
  form.suiParams["DIR"].Value = (temp_ / "Decompiled Guide").string();
  form.suiButtons.PressButton("DECOMPILE");
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text;
  EXPECT_EQ(testing::ReadFileBytes(temp_ / "Decompiled Guide" / "index.htm"),
            testing::ReadFileBytes(site / "index.htm"));
  EXPECT_EQ(testing::ReadFileBytes(temp_ / "Decompiled Guide" / "img" / "a.gif"),
            testing::ReadFileBytes(site / "img" / "a.gif"));
  EXPECT_FALSE(form.IsLoaded());
}

}  // namespace
}  // namespace corvina
