#pragma once

#include <memory>
#include <string>

namespace corvina {

class IHostApplication;

// An add-in as the host's add-in list names it.
struct AddInInstance {
  std::string ProgId = "Sitepack.Connect";
};

// The connect modes: after the host started, at its start-up, from outside (the add-in's
// main window opens at once and no commands are added).
inline constexpr int kConnectModeAfterStartup = 0;
inline constexpr int kConnectModeStartup = 1;
inline constexpr int kConnectModeExternal = 2;

// The connection events that a host raises on an add-in it loaded from a module.
class IDTExtensibility2 {
 public:
  virtual ~IDTExtensibility2() = default;
  virtual void OnConnection(IHostApplication* Application, int ConnectMode,
                            const AddInInstance& AddInInst) = 0;
  virtual void OnDisconnection(int RemoveMode) = 0;
  virtual void OnAddInsUpdate() = 0;
  virtual void OnStartupComplete() = 0;
  virtual void OnBeginShutdown() = 0;
};

// How the host asks a module for its add-in: the module exports this function under
// kAddInFactorySymbol. It fills *out; the host releases the add-in before it unloads the module.
using AddInFactory = void (*)(std::unique_ptr<IDTExtensibility2>* out);
inline constexpr const char kAddInFactorySymbol[] = "CorvinaCreateAddIn";

// The disconnect modes.
inline constexpr int kRemoveModeHostShutdown = 0;
inline constexpr int kRemoveModeUserClosed = 1;

// The registry key of the host's add-in list: one subkey per add-in, named by its ProgId,
// with "FriendlyName", "Description", "LoadBehavior" (3: connected at start-up) and "Module"
// (the shared library to load).
inline constexpr const char kAddInsKey[] = "Software\\Microsoft\\Office\\FrontPage\\Addins";
inline constexpr int kLoadBehaviorConnected = 1;
inline constexpr int kLoadBehaviorStartup = 2;

}  // namespace corvina
