#pragma once

namespace corvina {

class IMessageBoxes;
class IFileSystem;
class IRegistryStore;
class ISettingsStore;
class IProcessRunner;
class IDialogs;
class IWindows;
class IMessageLoop;
class IHelpViewer;
class IFormViews;
class INamedMutexes;
class IEnvironment;

// The services that system code reaches, one per interface. The front end builds one and
// installs it at start-up; a test installs one made of fakes with ScopedPlatform. A slot
// left empty is a programming error and asserts on use.
struct Platform {
  IMessageBoxes* message_boxes = nullptr;
  IFileSystem* file_system = nullptr;
  IRegistryStore* registry = nullptr;
  ISettingsStore* settings = nullptr;
  IProcessRunner* processes = nullptr;
  IDialogs* dialogs = nullptr;
  IWindows* windows = nullptr;
  IMessageLoop* message_loop = nullptr;
  IHelpViewer* help_viewer = nullptr;
  IFormViews* form_views = nullptr;
  INamedMutexes* mutexes = nullptr;
  IEnvironment* environment = nullptr;
};

const Platform& CurrentPlatform();

IMessageBoxes& MessageBoxes();
IFileSystem& FileSystem();
IRegistryStore& RegistryStore();
ISettingsStore& SettingsStore();
IProcessRunner& ProcessRunner();
IDialogs& Dialogs();
IWindows& Windows();
IMessageLoop& MessageLoop();
IHelpViewer& HelpViewer();
IFormViews& FormViews();
INamedMutexes& NamedMutexes();
IEnvironment& Environment();

// Installs a platform for its lifetime and puts the previous one back afterwards.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(const Platform& platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform previous_;
};

}  // namespace corvina
