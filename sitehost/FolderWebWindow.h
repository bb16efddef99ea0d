#pragma once

#include <memory>
#include <vector>

#include "shared/HostObjects.h"

namespace corvina {

// The window of a folder-backed site: the page windows that a front end opened on it, in the
// order they were opened. The command line opens none; a GUI host adds its editors here.
// The window owns its page windows; they live across refreshes of the site.
class FolderWebWindow : public IWebWindow {
 public:
  std::vector<IPageWindow*> PageWindows() override;

  IPageWindow* AddPageWindow(std::unique_ptr<IPageWindow> window);
  // Closes (destroys) a page window; false when it is not one of this window's.
  bool ClosePageWindow(IPageWindow* window);

 private:
  std::vector<std::unique_ptr<IPageWindow>> windows_;
};

}  // namespace corvina
