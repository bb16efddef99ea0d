#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/IWindows.h"

namespace corvina {

// Top-level windows in memory. Records every search and every message; a closing message
// closes the window unless fail_send_with injects a failure.
class FakeWindows : public IWindows {
 public:
  struct Window {
    WindowHandle handle = kNoWindow;
    std::string class_name;
    std::string caption;
    bool open = true;
  };
  struct Sent {
    WindowHandle window;
    uint32_t message;
    intptr_t wparam;
    intptr_t lparam;
    bool operator==(const Sent&) const = default;
  };

  std::vector<Window> windows;
  std::vector<std::pair<std::string, std::string>> searches;  // class and caption, in order
  std::vector<Sent> sent;
  int32_t fail_send_with = 0;

  WindowHandle AddWindow(std::string_view class_name, std::string_view caption) {
    windows.push_back({next_handle_++, std::string(class_name), std::string(caption), true});
    return windows.back().handle;
  }
  const Window* Get(WindowHandle handle) const {
    for (const Window& window : windows)
      if (window.handle == handle) return &window;
    return nullptr;
  }

  WindowHandle FindWindow(std::string_view class_name, std::string_view caption) override {
    searches.emplace_back(class_name, caption);
    for (const Window& window : windows)
      if (window.open && window.class_name == class_name && window.caption == caption)
        return window.handle;
    return kNoWindow;
  }
  Status SendMessage(WindowHandle handle, uint32_t message, intptr_t wparam,
                     intptr_t lparam) override {
    sent.push_back({handle, message, wparam, lparam});
    if (fail_send_with != 0) return Error{fail_send_with, "injected failure"};
    for (Window& window : windows) {
      if (window.handle == handle && window.open) {
        if (message == kWmClose) window.open = false;
        return Status::Ok();
      }
    }
    return Error{kErrInvalidArgument, "no such window"};
  }
  Result<WindowHandle> RegisterWindow(std::string_view class_name,
                                      std::string_view caption) override {
    return AddWindow(class_name, caption);
  }
  Status UnregisterWindow(WindowHandle handle) override {
    for (Window& window : windows) {
      if (window.handle == handle && window.open) {
        window.open = false;
        return Status::Ok();
      }
    }
    return Error{kErrInvalidArgument, "no such window"};
  }

 private:
  WindowHandle next_handle_ = 100;
};

}  // namespace corvina
