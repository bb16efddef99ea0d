#include "host/Connect.h"

#include "compiler/frmHHC.h"
#include "decompile/frmDecompile.h"
#include "mainwindow/ShowHelp.h"
#include "mainwindow/frmMain.h"
#include "platform/INamedMutexes.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/ErrorReport.h"

namespace corvina {

using namespace Globals;

namespace {

constexpr std::string_view kMenuBar = "Tools";
constexpr std::string_view kToolBar = "Standard";
constexpr std::string_view kPopupCaption = "Corvina";

// The add-in's reference to itself, which keeps it connected.
Connect* gConnect = nullptr;

Error NoCommandBars() {
  return Error{kErrInvalidArgument, "The host has no command bars"};
}

}  // namespace

Connect::Connect() = default;

Connect::~Connect() {
  if (gConnect == this) gConnect = nullptr;
}

Connect* Connect::Instance() {
  return gConnect;
}

void Connect::HideSitepack() {
  ErrorReport report("Connect", "HideSitepack");
  if (Forms<frmMain>().IsLoaded()) Loaded<frmMain>().Hide();
}

void Connect::ShowSitepack() {
  ErrorReport report("Connect", "ShowSitepack");
  frmMain& main = Loaded<frmMain>();
  if (main.BuildUI()) main.Show(true);
  Forms<frmMain>().Unload();
}

void Connect::ShowDecompile() {
  ErrorReport report("Connect", "ShowDecompile");
  Loaded<frmDecompile>().Show(true);
}

void Connect::HideDecompile() {
  ErrorReport report("Connect", "HideDecompile");
  if (Forms<frmDecompile>().IsLoaded()) Loaded<frmDecompile>().Hide();
}

void Connect::AddinInstance_OnConnection(IHostApplication* Application, int ConnectMode,
                                         const AddInInstance& AddInInst) {
  ErrorReport report("Connect", "AddinInstance_OnConnection");
  // Held until disconnection; the system drops it with the process, however that ends.
  mMutex = report.Value(NamedMutexes().CreateMutex(kProductName));
  HostApplication = Application;
  gConnect = this;
  mMenuExpected = false;
  if (ConnectMode == kConnectModeExternal) {
    ShowSitepack();
  } else {
    CreateMenu(AddInInst);
    CreatePannel(AddInInst);
  }
}

void Connect::AddinInstance_OnDisconnection(int /*RemoveMode*/) {
  ErrorReport report("Connect", "AddinInstance_OnDisconnection");
  // A connection that added no menu (the external mode, a host without command bars) has
  // nothing to take away.
  if (mMenuExpected && HostApplication != nullptr) {
    if (ICommandBars* bars = HostApplication->CommandBars()) {
      if (Result<ICommandBar*> tools = bars->Item(kMenuBar); report.Check(tools.status())) {
        if (Result<CommandBarControlRef> popup = (*tools)->Controls()->Item(kPopupCaption);
            report.Check(popup.status())) {
          report.Check((*popup)->Delete());
        }
      }
    }
  }
  mMenuExpected = false;
  cbBtnSitepack.Release();
  cbBtnDecompile.Release();
  cbBtnHelp.Release();
  cbBtnPanelSitepack.Release();
  cbBtnPanelDecompile.Release();
  cbBtnPanelHelp.Release();
  HostApplication = nullptr;
  if (gConnect == this) gConnect = nullptr;
  mMutex.reset();
  Forms<frmHHC>().Unload();
  Forms<frmMain>().Unload();
}

void Connect::CreateMenu(const AddInInstance& AddInInst) {
  ErrorReport report("Connect", "CreateMenu");
  ICommandBars* bars = HostApplication ? HostApplication->CommandBars() : nullptr;
  if (bars == nullptr) {
    report.Raise(NoCommandBars());
    return;
  }
  mMenuExpected = true;
  // An existing, visible "Corvina" pop-up (another connection's) is kept and not doubled. A
  // look-up that fails counts as no pop-up.
  report.IgnoreErrors();
  bool present = false;
  if (Result<ICommandBar*> tools = bars->Item(kMenuBar); tools.ok()) {
    if (Result<CommandBarControlRef> existing = (*tools)->Controls()->Item(kPopupCaption);
        existing.ok()) {
      present = (*existing)->Visible();
    }
  }
  report.ReportErrors();
  report.ClearError();
  if (present) return;
  AddCommands(report, kMenuBar, AddInInst, cbBtnSitepack, cbBtnDecompile, cbBtnHelp);
}

void Connect::CreatePannel(const AddInInstance& AddInInst) {
  ErrorReport report("Connect", "CreatePannel");
  if (HostApplication == nullptr || HostApplication->CommandBars() == nullptr) {
    report.Raise(NoCommandBars());
    return;
  }
  AddCommands(report, kToolBar, AddInInst, cbBtnPanelSitepack, cbBtnPanelDecompile, cbBtnPanelHelp);
}

void Connect::AddCommands(ErrorReport& report, std::string_view sBar,
                          const AddInInstance& AddInInst, ButtonWithEvents& cbCompile,
                          ButtonWithEvents& cbDecompile, ButtonWithEvents& cbHelp) {
  Result<ICommandBar*> bar = HostApplication->CommandBars()->Item(sBar);
  if (!report.Check(bar.status())) return;
  Result<CommandBarControlRef> popup =
      (*bar)->Controls()->Add(MsoControlType::msoControlPopup, /*bTemporary=*/true);
  if (!report.Check(popup.status())) return;
  report.Check((*popup)->SetCaption(kPopupCaption));
  ICommandBarControls* controls = (*popup)->Controls();
  if (controls == nullptr) {
    report.Raise(Error{kErrInvalidArgument, "The pop-up control has no controls"});
    return;
  }
  const std::string action = "!<" + AddInInst.ProgId + ">";
  const bool menu = sBar == kMenuBar;
  AddButton(report, *controls, cbCompile, "Compile", action, kFaceIdCompile,
            menu ? &Connect::cbBtnSitepack_Click : &Connect::cbBtnPanelSitepack_Click);
  AddButton(report, *controls, cbDecompile, "Decompile", action, kFaceIdCompile,
            menu ? &Connect::cbBtnDecompile_Click : &Connect::cbBtnPanelDecompile_Click);
  AddButton(report, *controls, cbHelp, "Help", action, kFaceIdHelp,
            menu ? &Connect::cbBtnHelp_Click : &Connect::cbBtnPanelHelp_Click);
}

void Connect::AddButton(ErrorReport& report, ICommandBarControls& controls,
                        ButtonWithEvents& button, std::string_view sCaption,
                        std::string_view sAction, int nFaceId, ClickMember handler) {
  Result<CommandBarControlRef> added =
      controls.Add(MsoControlType::msoControlButton, /*bTemporary=*/false);
  if (!report.Check(added.status())) return;
  button.control = *added;
  button.click =
      button.control->ConnectClick([this, handler](ICommandBarControl& Ctrl, bool& CancelDefault) {
        (this->*handler)(Ctrl, CancelDefault);
      });
  report.Check(button.control->SetCaption(sCaption));
  report.Check(button.control->SetOnAction(sAction));
  report.Check(button.control->SetFaceId(nFaceId));
}

void Connect::cbBtnSitepack_Click(ICommandBarControl&, bool&) {
  ShowSitepack();
}
void Connect::cbBtnDecompile_Click(ICommandBarControl&, bool&) {
  ShowDecompile();
}
void Connect::cbBtnHelp_Click(ICommandBarControl&, bool&) {
  ShowHelp();
}
void Connect::cbBtnPanelSitepack_Click(ICommandBarControl&, bool&) {
  ShowSitepack();
}
void Connect::cbBtnPanelDecompile_Click(ICommandBarControl&, bool&) {
  ShowDecompile();
}
void Connect::cbBtnPanelHelp_Click(ICommandBarControl&, bool&) {
  ShowHelp();
}

}  // namespace corvina
