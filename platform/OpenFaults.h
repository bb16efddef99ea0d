#pragma once

#include <filesystem>
#include <functional>

namespace corvina {

// The errno that opening `path` for reading should fail with, or 0 to open it as usual.
using OpenFault = std::function<int(const std::filesystem::path& path)>;

// The fault installed now for opening `path` (0 when none is installed). The readers of a
// site's folders and files ask it before they open, so that a test can make a path unreadable
// where no file mode would (a process running as root reads every file).
int InjectedOpenFault(const std::filesystem::path& path);
// True while a fault is installed: a reader that does not hold the path as a path object asks
// this first, so that it makes one only in tests.
bool OpenFaultInstalled();

// Installs a fault for its lifetime and puts the previous one back afterwards.
class ScopedOpenFault {
 public:
  explicit ScopedOpenFault(OpenFault fault);
  ~ScopedOpenFault();
  ScopedOpenFault(const ScopedOpenFault&) = delete;
  ScopedOpenFault& operator=(const ScopedOpenFault&) = delete;

 private:
  OpenFault previous_;
};

}  // namespace corvina
