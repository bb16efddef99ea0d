#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "shared/AddInModule.h"
#include "shared/CommandBars.h"

namespace corvina {

class IHostApplication;
class INamedMutex;
class ErrorReport;

// The add-in itself: the host connects it, it puts its commands ("Compile", "Decompile",
// "Help") into the host's "Tools" menu and "Standard" toolbar, and each command opens one of
// the add-in's windows or its help file. While connected it holds the named mutex "Corvina",
// so that other programs can tell it is running.
class Connect {
 public:
  // The host's connect modes; in the external mode the main window opens at once and no
  // commands are added.
  static constexpr int kConnectModeAfterStartup = corvina::kConnectModeAfterStartup;
  static constexpr int kConnectModeStartup = corvina::kConnectModeStartup;
  static constexpr int kConnectModeExternal = corvina::kConnectModeExternal;

  static constexpr int kFaceIdCompile = 2138;
  static constexpr int kFaceIdHelp = 983;

  Connect();
  ~Connect();
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;

  void HideSitepack();
  void ShowSitepack();
  void ShowDecompile();
  void HideDecompile();

  void AddinInstance_OnConnection(IHostApplication* Application, int ConnectMode,
                                  const AddInInstance& AddInInst = {});
  void AddinInstance_OnDisconnection(int RemoveMode = 0);
  // The designer's other events, which the add-in does not handle.
  void AddinInstance_OnAddInsUpdate() {}
  void AddinInstance_OnStartupComplete() {}
  void AddinInstance_OnBeginShutdown() {}

  // The connected add-in, or nullptr.
  static Connect* Instance();

 private:
  // A command-bar button with its Click event connected to a handler of this object.
  struct ButtonWithEvents {
    CommandBarControlRef control;
    ClickConnection click;
    void Release() {
      click.Release();
      control.reset();
    }
  };
  using ClickMember = void (Connect::*)(ICommandBarControl& Ctrl, bool& CancelDefault);

  void CreateMenu(const AddInInstance& AddInInst);
  void CreatePannel(const AddInInstance& AddInInst);
  // Adds "Compile", "Decompile" and "Help" to a new "Corvina" pop-up of the bar.
  void AddCommands(ErrorReport& report, std::string_view sBar, const AddInInstance& AddInInst,
                   ButtonWithEvents& cbCompile, ButtonWithEvents& cbDecompile,
                   ButtonWithEvents& cbHelp);
  void AddButton(ErrorReport& report, ICommandBarControls& controls, ButtonWithEvents& button,
                 std::string_view sCaption, std::string_view sAction, int nFaceId,
                 ClickMember handler);

  void cbBtnSitepack_Click(ICommandBarControl& Ctrl, bool& CancelDefault);
  void cbBtnDecompile_Click(ICommandBarControl& Ctrl, bool& CancelDefault);
  void cbBtnHelp_Click(ICommandBarControl& Ctrl, bool& CancelDefault);
  void cbBtnPanelSitepack_Click(ICommandBarControl& Ctrl, bool& CancelDefault);
  void cbBtnPanelDecompile_Click(ICommandBarControl& Ctrl, bool& CancelDefault);
  void cbBtnPanelHelp_Click(ICommandBarControl& Ctrl, bool& CancelDefault);

  ButtonWithEvents cbBtnSitepack;
  ButtonWithEvents cbBtnDecompile;
  ButtonWithEvents cbBtnHelp;
  ButtonWithEvents cbBtnPanelSitepack;
  ButtonWithEvents cbBtnPanelDecompile;
  ButtonWithEvents cbBtnPanelHelp;
  std::unique_ptr<INamedMutex> mMutex;
  // The connection added the menu pop-up (not in the external mode, nor without command bars).
  bool mMenuExpected = false;
};

}  // namespace corvina
