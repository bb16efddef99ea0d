#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// A top-level window of the user's session; kNoWindow stands for none.
using WindowHandle = int64_t;
inline constexpr WindowHandle kNoWindow = 0;

// The window message that asks a window to close.
inline constexpr uint32_t kWmClose = 16;

// Top-level windows of the user's session, found by class and caption, as the help viewer's
// "HH Parent" windows are found and closed. Windows of every process of the user are seen.
class IWindows {
 public:
  virtual ~IWindows() = default;

  // The first top-level window of the class whose caption is exactly caption, or kNoWindow.
  virtual WindowHandle FindWindow(std::string_view class_name, std::string_view caption) = 0;
  // Delivers the message and returns once the window has handled it. For kWmClose that means
  // the window is gone (the wait is bounded to a few seconds); other messages are refused.
  virtual Status SendMessage(WindowHandle window, uint32_t message, intptr_t wparam,
                             intptr_t lparam) = 0;
  // Makes a window of this process known to FindWindow; a closing message for it reaches
  // this process as SIGTERM.
  virtual Result<WindowHandle> RegisterWindow(std::string_view class_name,
                                              std::string_view caption) = 0;
  virtual Status UnregisterWindow(WindowHandle window) = 0;
};

}  // namespace corvina
