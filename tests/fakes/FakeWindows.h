#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IWindows.h"

namespace corvina {

// Top-level windows in memory. Records every message; a closing message closes the window
// unless fail_send_with injects a failure.
class FakeWindows : public IWindows {
 public:
  struct Sent {
    WindowHandle window;
    uint32_t message;
    intptr_t wparam;
    intptr_t lparam;
  };

  std::map<WindowHandle, std::pair<std::string, std::string>> open;  // class and caption
  std::vector<Sent> sent;
  int32_t fail_send_with = 0;

  WindowHandle AddWindow(std::string_view class_name, std::string_view caption) {
    open[next_handle_] = {std::string(class_name), std::string(caption)};
    return next_handle_++;
  }

  WindowHandle FindWindow(std::string_view class_name, std::string_view caption) override {
    for (const auto& [handle, window] : open)
      if (window.first == class_name && window.second == caption) return handle;
    return kNoWindow;
  }
  Status SendMessage(WindowHandle handle, uint32_t message, intptr_t wparam,
                     intptr_t lparam) override {
    sent.push_back({handle, message, wparam, lparam});
    if (fail_send_with != 0) return Error{fail_send_with, "injected failure"};
    if (!open.contains(handle)) return Error{kErrInvalidArgument, "no such window"};
    if (message == kWmClose) open.erase(handle);
    return Status::Ok();
  }
  Result<WindowHandle> RegisterWindow(std::string_view class_name,
                                      std::string_view caption) override {
    return AddWindow(class_name, caption);
  }
  Status UnregisterWindow(WindowHandle handle) override {
    if (open.erase(handle) == 0) return Error{kErrInvalidArgument, "no such window"};
    return Status::Ok();
  }

 private:
  WindowHandle next_handle_ = 100;
};

}  // namespace corvina
