#include "host/Connect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decompile/frmDecompile.h"
#include "mainwindow/frmMain.h"
#include "platform/IFormView.h"
#include "platform/Platform.h"
#include "shared/Globals.h"
#include "sitehost/MemoryCommandBars.h"
#include "testing/FakeHost.h"
#include "tests/fakes/FakeEnvironment.h"
#include "tests/fakes/FakeHelpViewer.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeNamedMutexes.h"
#include "tests/fakes/FakeSettingsStore.h"
#include "tests/fakes/FakeWindows.h"

namespace corvina {
namespace {

// Records which windows were shown, and how; a modal show returns at once.
class RecordingViews : public IFormViews {
 public:
  std::vector<std::string> shown;  // "<name> modal" or "<name>"

  std::unique_ptr<IFormView> CreateView(Form& form) override {
    return std::make_unique<View>(*this, form);
  }

 private:
  class View : public IFormView {
   public:
    View(RecordingViews& views, Form& form) : views_(views), form_(form) {}
    void Show(bool modal) override {
      views_.shown.push_back(form_.Name() + (modal ? " modal" : ""));
    }
    void Hide() override {}
    void Refresh() override {}
    void Unloaded() override {}

   private:
    RecordingViews& views_;
    Form& form_;
  };
};

struct ButtonShape {
  std::string caption;
  int face_id;
};

// A host with a "Tools" menu and a "Standard" toolbar, each with one control of its own.
class ConnectTest : public ::testing::Test {
 protected:
  ConnectTest() {
    MemoryCommandBar& tools = bars_.AddBar("Tools");
    EXPECT_TRUE(tools.controls().Add(MsoControlType::msoControlButton, false).ok());
    bars_.AddBar("Standard");
    host_.command_bars = &bars_;
  }
  ~ConnectTest() override { Forms<frmDecompile>().Unload(); }

  std::vector<std::shared_ptr<MemoryCommandBarControl>> Popups(std::string_view bar) {
    std::vector<std::shared_ptr<MemoryCommandBarControl>> found;
    for (const auto& control : bars_.Find(bar)->controls().controls()) {
      if (control->Caption() == "Corvina") found.push_back(control);
    }
    return found;
  }
  // The popup's buttons, checked against the three commands.
  void ExpectCommands(const std::shared_ptr<MemoryCommandBarControl>& popup) {
    ASSERT_EQ(popup->Type(), MsoControlType::msoControlPopup);
    EXPECT_TRUE(popup->temporary());
    EXPECT_TRUE(popup->Visible());
    const ButtonShape expected[] = {{"Compile", 2138}, {"Decompile", 2138}, {"Help", 983}};
    const auto& buttons = popup->children()->controls();
    ASSERT_EQ(buttons.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      SCOPED_TRACE(expected[i].caption);
      EXPECT_EQ(buttons[i]->Type(), MsoControlType::msoControlButton);
      EXPECT_EQ(buttons[i]->Caption(), expected[i].caption);
      EXPECT_EQ(buttons[i]->face_id(), expected[i].face_id);
      EXPECT_EQ(buttons[i]->on_action(), "!<Sitepack.Connect>");
      EXPECT_FALSE(buttons[i]->temporary());
      EXPECT_EQ(buttons[i]->click_handlers(), 1u);
    }
  }
  MemoryCommandBarControl& Button(std::string_view bar, size_t index) {
    return *Popups(bar).back()->children()->controls().at(index);  // the newest pop-up
  }

  FakeMessageBoxes boxes_;
  FakeSettingsStore settings_;
  FakeWindows windows_;
  FakeHelpViewer viewer_;
  FakeNamedMutexes mutexes_;
  FakeEnvironment environment_;
  RecordingViews views_;
  ScopedPlatform platform_{Platform{.message_boxes = &boxes_,
                                    .settings = &settings_,
                                    .windows = &windows_,
                                    .help_viewer = &viewer_,
                                    .form_views = &views_,
                                    .mutexes = &mutexes_,
                                    .environment = &environment_}};
  MemoryCommandBars bars_;
  FakeHostApplication host_;
  Connect addin_;
};

TEST_F(ConnectTest, ConnectingAddsThePopupsAndDisconnectingReleasesThem) {
  addin_.AddinInstance_OnConnection(&host_, Connect::kConnectModeStartup);
  EXPECT_EQ(Globals::HostApplication, &host_);
  EXPECT_EQ(Connect::Instance(), &addin_);
  EXPECT_EQ(mutexes_.holds["Corvina"], 1);
  for (std::string_view bar : {"Tools", "Standard"}) {
    SCOPED_TRACE(bar);
    ASSERT_EQ(Popups(bar).size(), 1u);
    ExpectCommands(Popups(bar)[0]);
  }
  // The pop-up goes after the menu's own control.
  EXPECT_EQ(bars_.Find("Tools")->controls().controls().back(), Popups("Tools")[0]);
  EXPECT_TRUE(boxes_.shown.empty());

  // Disconnected, the menu's pop-up goes and the toolbar's stays.
  auto toolbar_popup = Popups("Standard").at(0);
  addin_.AddinInstance_OnDisconnection();
  EXPECT_TRUE(Popups("Tools").empty());
  EXPECT_EQ(bars_.Find("Tools")->controls().Count(), 1u);  // the host's own control stays
  ASSERT_EQ(Popups("Standard").size(), 1u);
  // The buttons are released: a click on the toolbar's leftovers reaches nobody.
  for (const auto& button : toolbar_popup->children()->controls()) {
    EXPECT_EQ(button->click_handlers(), 0u);
    button->Click();
  }
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(views_.shown.empty());
  EXPECT_TRUE(viewer_.requests.empty());
  EXPECT_EQ(Globals::HostApplication, nullptr);
  EXPECT_EQ(Connect::Instance(), nullptr);
  EXPECT_EQ(mutexes_.holds["Corvina"], 0);

  // Reconnected: the menu again and a second toolbar pop-up.
  addin_.AddinInstance_OnConnection(&host_, Connect::kConnectModeAfterStartup);
  EXPECT_EQ(Popups("Tools").size(), 1u);
  EXPECT_EQ(Popups("Standard").size(), 2u);
  ExpectCommands(Popups("Standard")[1]);
  EXPECT_EQ(toolbar_popup->children()->controls()[0]->click_handlers(), 0u);
  addin_.AddinInstance_OnDisconnection();
  // The host closes: its temporary pop-ups go.
  bars_.DropTemporary();
  EXPECT_TRUE(Popups("Standard").empty());
}

TEST_F(ConnectTest, AVisibleMenuPopupIsNotDoubledButAHiddenOneIs) {
  for (bool visible : {true, false}) {
    SCOPED_TRACE(visible);
    MemoryCommandBars bars;
    bars.AddBar("Tools");
    bars.AddBar("Standard");
    auto existing = *bars.Find("Tools")->controls().Add(MsoControlType::msoControlPopup, true);
    ASSERT_TRUE(existing->SetCaption("Corvina").ok());
    ASSERT_TRUE(existing->SetVisible(visible).ok());
    host_.command_bars = &bars;
    Connect addin;
    addin.AddinInstance_OnConnection(&host_, Connect::kConnectModeStartup);
    EXPECT_EQ(bars.Find("Tools")->controls().Count(), visible ? 1u : 2u);
    EXPECT_EQ(bars.Find("Standard")->controls().Count(), 1u);
    addin.AddinInstance_OnDisconnection();
    EXPECT_TRUE(boxes_.shown.empty());
  }
}

TEST_F(ConnectTest, TheExternalModeOpensTheMainWindowAndAddsNoCommands) {
  addin_.AddinInstance_OnConnection(&host_, Connect::kConnectModeExternal);
  // No site is open: the main window says so and is never shown.
  EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Open site first"});
  EXPECT_TRUE(views_.shown.empty());
  EXPECT_FALSE(Forms<frmMain>().IsLoaded());
  EXPECT_TRUE(Popups("Tools").empty());
  EXPECT_TRUE(Popups("Standard").empty());
  // Nothing was added, so disconnecting has nothing to remove and nothing to report.
  addin_.AddinInstance_OnDisconnection();
  EXPECT_EQ(boxes_.shown.size(), 1u);
}

TEST_F(ConnectTest, EachButtonRunsItsCommand) {
  FakeWeb web;
  web.AddFile("index.htm", "Home");
  for (std::string_view bar : {"Tools", "Standard"}) {
    SCOPED_TRACE(bar);
    addin_.AddinInstance_OnConnection(&host_, Connect::kConnectModeStartup);
    boxes_.shown.clear();
    views_.shown.clear();
    viewer_.requests.clear();

    host_.web = nullptr;
    Button(bar, 0).Click();
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Open site first"});
    EXPECT_FALSE(Forms<frmMain>().IsLoaded());
    host_.web = &web;
    Button(bar, 0).Click();
    Button(bar, 1).Click();
    EXPECT_EQ(views_.shown, (std::vector<std::string>{"frmMain modal", "frmDecompile modal"}));
    EXPECT_FALSE(Forms<frmMain>().IsLoaded());  // unloaded once its modal show returned

    Button(bar, 2).Click();
    ASSERT_EQ(viewer_.requests.size(), 1u);
    EXPECT_EQ(viewer_.requests[0].file, "/opt/corvina/Corvina.CHM");
    EXPECT_EQ(viewer_.requests[0].command, 0u);
    EXPECT_EQ(viewer_.requests[0].topic, "index.html");
    EXPECT_EQ(boxes_.shown.size(), 1u);
    // Help leaves the main window loaded and hidden, until disconnection unloads it.
    EXPECT_TRUE(Forms<frmMain>().IsLoaded());
    addin_.AddinInstance_OnDisconnection();
    EXPECT_FALSE(Forms<frmMain>().IsLoaded());
    Forms<frmDecompile>().Unload();
  }
}

TEST_F(ConnectTest, ASecondInstanceSeesTheMutexAndStillConnects) {
  MemoryCommandBars other_bars;
  other_bars.AddBar("Tools");
  other_bars.AddBar("Standard");
  FakeHostApplication other_host;
  other_host.command_bars = &other_bars;
  addin_.AddinInstance_OnConnection(&host_, Connect::kConnectModeStartup);
  Connect second;
  second.AddinInstance_OnConnection(&other_host, Connect::kConnectModeStartup);
  EXPECT_EQ(mutexes_.holds["Corvina"], 2);
  EXPECT_EQ(other_bars.Find("Tools")->controls().Count(), 1u);
  second.AddinInstance_OnDisconnection();
  EXPECT_TRUE(*mutexes_.Exists("Corvina"));
  addin_.AddinInstance_OnDisconnection();
  EXPECT_FALSE(*mutexes_.Exists("Corvina"));
}

TEST_F(ConnectTest, FailuresAreReportedAndTheConnectionGoesOn) {
  mutexes_.fail_create_with = 70;
  MemoryCommandBars no_menu;
  no_menu.AddBar("Standard");
  host_.command_bars = &no_menu;
  addin_.AddinInstance_OnConnection(&host_, Connect::kConnectModeStartup);
  const std::vector<std::string> texts = boxes_.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(
      texts[0].starts_with("injected failure\r\nin Sitepack.Connect."
                           "AddinInstance_OnConnection at line "))
      << texts[0];
  EXPECT_TRUE(
      texts[1].starts_with("Invalid procedure call or argument\r\nin Sitepack.Connect."
                           "CreateMenu at line "))
      << texts[1];
  EXPECT_EQ(no_menu.Find("Standard")->controls().Count(), 1u);
  // The menu's pop-up is missing at disconnection: that is reported once, the rest still runs.
  addin_.AddinInstance_OnDisconnection();
  ASSERT_EQ(boxes_.shown.size(), 3u);
  EXPECT_TRUE(boxes_.shown[2].text.find("AddinInstance_OnDisconnection") != std::string::npos);
  EXPECT_EQ(Globals::HostApplication, nullptr);
}

}  // namespace
}  // namespace corvina
