#include "sitehost/FolderWebWindow.h"

#include <algorithm>
#include <utility>

namespace corvina {

std::vector<IPageWindow*> FolderWebWindow::PageWindows() {
  std::vector<IPageWindow*> windows;
  windows.reserve(windows_.size());
  for (const auto& window : windows_)
    windows.push_back(window.get());
  return windows;
}

IPageWindow* FolderWebWindow::AddPageWindow(std::unique_ptr<IPageWindow> window) {
  if (!window) return nullptr;
  windows_.push_back(std::move(window));
  return windows_.back().get();
}

bool FolderWebWindow::ClosePageWindow(IPageWindow* window) {
  const auto it = std::find_if(windows_.begin(), windows_.end(),
                               [&](const auto& owned) { return owned.get() == window; });
  if (it == windows_.end()) return false;
  windows_.erase(it);
  return true;
}

}  // namespace corvina
