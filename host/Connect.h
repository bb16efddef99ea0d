#pragma once

namespace corvina {

class IHostApplication;

// The add-in itself: the host connects it, and its commands open the add-in's windows.
class Connect {
 public:
  // The host's external connect mode: the main window opens at once and no commands are added.
  static constexpr int kConnectModeExternal = 2;

  void HideSitepack();
  void ShowSitepack();
  void ShowDecompile();
  void HideDecompile();

  void AddinInstance_OnConnection(IHostApplication* Application, int ConnectMode);
  void AddinInstance_OnDisconnection();
};

}  // namespace corvina
