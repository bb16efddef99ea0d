#include "host/Connect.h"

#include "compiler/frmHHC.h"
#include "decompile/frmDecompile.h"
#include "generation/Globals.h"
#include "mainwindow/frmMain.h"
#include "support/ErrorReport.h"

namespace corvina {

using namespace Globals;

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

void Connect::AddinInstance_OnConnection(IHostApplication* Application, int ConnectMode) {
  ErrorReport report("Connect", "AddinInstance_OnConnection");
  HostApplication = Application;
  if (ConnectMode == kConnectModeExternal) ShowSitepack();
}

void Connect::AddinInstance_OnDisconnection() {
  ErrorReport report("Connect", "AddinInstance_OnDisconnection");
  HostApplication = nullptr;
  Forms<frmHHC>().Unload();
  Forms<frmMain>().Unload();
}

}  // namespace corvina
