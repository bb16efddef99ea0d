#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Product.h"

namespace corvina {
namespace {

Platform& Installed() {
  static Platform platform;
  return platform;
}

template <typename T>
T& Slot(T* service) {
  if (service == nullptr) {
    PrintMessage("internal error: a platform service was used before it was installed");
    std::abort();
  }
  return *service;
}

}  // namespace

const Platform& CurrentPlatform() {
  return Installed();
}

IMessageBoxes& MessageBoxes() {
  return Slot(Installed().message_boxes);
}
IFileSystem& FileSystem() {
  return Slot(Installed().file_system);
}
IRegistryStore& RegistryStore() {
  return Slot(Installed().registry);
}
ISettingsStore& SettingsStore() {
  return Slot(Installed().settings);
}
IProcessRunner& ProcessRunner() {
  return Slot(Installed().processes);
}
IDialogs& Dialogs() {
  return Slot(Installed().dialogs);
}
IWindows& Windows() {
  return Slot(Installed().windows);
}
IMessageLoop& MessageLoop() {
  return Slot(Installed().message_loop);
}
IHelpViewer& HelpViewer() {
  return Slot(Installed().help_viewer);
}
IFormViews& FormViews() {
  return Slot(Installed().form_views);
}
INamedMutexes& NamedMutexes() {
  return Slot(Installed().mutexes);
}
IEnvironment& Environment() {
  return Slot(Installed().environment);
}

ScopedPlatform::ScopedPlatform(const Platform& platform) : previous_(Installed()) {
  Installed() = platform;
}

ScopedPlatform::~ScopedPlatform() {
  Installed() = previous_;
}

}  // namespace corvina
