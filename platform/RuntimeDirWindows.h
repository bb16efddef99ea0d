#pragma once

#include <chrono>
#include <filesystem>

#include "platform/IWindows.h"

namespace corvina {

// Windows kept as one small file per window in a folder of the user's runtime directory
// ($XDG_RUNTIME_DIR/corvina/windows, else $XDG_CONFIG_HOME/corvina/run): the owner's process
// id and start time, the class and the caption. Entries of processes that have ended are
// ignored and removed. Closing a window sends SIGTERM to its process and waits, polling, until
// the entry is gone or the process has ended.
class RuntimeDirWindows : public IWindows {
 public:
  explicit RuntimeDirWindows(std::filesystem::path folder,
                             std::chrono::milliseconds close_wait = std::chrono::seconds(5));

  // The folder that every process of this user shares.
  static std::filesystem::path DefaultFolder();

  WindowHandle FindWindow(std::string_view class_name, std::string_view caption) override;
  Status SendMessage(WindowHandle window, uint32_t message, intptr_t wparam,
                     intptr_t lparam) override;
  Result<WindowHandle> RegisterWindow(std::string_view class_name,
                                      std::string_view caption) override;
  Status UnregisterWindow(WindowHandle window) override;

 private:
  std::filesystem::path EntryPath(WindowHandle window) const;

  std::filesystem::path folder_;
  std::chrono::milliseconds close_wait_;
};

}  // namespace corvina
