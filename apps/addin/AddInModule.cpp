#include "shared/AddInModule.h"

#include <QApplication>
#include <memory>

#include "apps/qt/QtDialogs.h"
#include "apps/qt/QtFormViews.h"
#include "apps/qt/QtMessageBoxes.h"
#include "apps/qt/QtMessageLoop.h"
#include "host/Connect.h"
#include "platform/FlockNamedMutexes.h"
#include "platform/HhProgramHelpViewer.h"
#include "platform/Platform.h"
#include "platform/PosixEnvironment.h"
#include "platform/PosixFileSystem.h"
#include "platform/PosixProcessRunner.h"
#include "platform/RegistrySettingsStore.h"
#include "platform/RuntimeDirWindows.h"
#include "platform/SqliteRegistryStore.h"

namespace corvina {
namespace {

// The host's main window, which the add-in's windows stand over; nullptr when it has none.
QWidget* HostWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->inherits("QMainWindow")) return widget;
  }
  return nullptr;
}

// The add-in as a module: the add-in class with the services it reaches, real ones drawn with
// Qt, installed while it is connected. The module keeps its own copy of the system's globals,
// so nothing of the host's is shared but the interfaces it hands over.
class AddIn : public IDTExtensibility2 {
 public:
  AddIn()
      : registry_(SqliteRegistryStoreOptions{SqliteRegistryStore::DefaultPath()}),
        settings_(registry_),
        windows_(RuntimeDirWindows::DefaultFolder()),
        mutexes_(FlockNamedMutexes::DefaultFolder()),
        views_(HostWindow()) {}

  void OnConnection(IHostApplication* Application, int ConnectMode,
                    const AddInInstance& AddInInst) override {
    installed_ = std::make_unique<ScopedPlatform>(Platform{.message_boxes = &boxes_,
                                                           .file_system = &files_,
                                                           .registry = &registry_,
                                                           .settings = &settings_,
                                                           .processes = &processes_,
                                                           .dialogs = &dialogs_,
                                                           .windows = &windows_,
                                                           .message_loop = &loop_,
                                                           .help_viewer = &viewer_,
                                                           .form_views = &views_,
                                                           .mutexes = &mutexes_,
                                                           .environment = &environment_});
    views_.set_owner(HostWindow());
    connect_.AddinInstance_OnConnection(Application, ConnectMode, AddInInst);
  }
  void OnDisconnection(int RemoveMode) override {
    if (!installed_) return;
    connect_.AddinInstance_OnDisconnection(RemoveMode);
    installed_.reset();
  }
  void OnAddInsUpdate() override { connect_.AddinInstance_OnAddInsUpdate(); }
  void OnStartupComplete() override { connect_.AddinInstance_OnStartupComplete(); }
  void OnBeginShutdown() override { connect_.AddinInstance_OnBeginShutdown(); }

 private:
  QtMessageBoxes boxes_;
  PosixFileSystem files_;
  SqliteRegistryStore registry_;
  RegistrySettingsStore settings_;
  PosixProcessRunner processes_;
  QtDialogs dialogs_;
  RuntimeDirWindows windows_;
  FlockNamedMutexes mutexes_;
  PosixEnvironment environment_;
  QtMessageLoop loop_;
  HhProgramHelpViewer viewer_;
  QtFormViews views_;
  std::unique_ptr<ScopedPlatform> installed_;
  Connect connect_;
};

}  // namespace
}  // namespace corvina

extern "C" __attribute__((visibility("default"))) void CorvinaCreateAddIn(
    std::unique_ptr<corvina::IDTExtensibility2>* out) {
  *out = std::make_unique<corvina::AddIn>();
}
