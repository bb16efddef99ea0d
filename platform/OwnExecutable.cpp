#include "platform/OwnExecutable.h"

#include <dlfcn.h>

namespace corvina {

std::filesystem::path OwnExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path();
}

std::filesystem::path OwnModuleFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&OwnModuleFolder), &info) != 0 && info.dli_fname &&
      info.dli_fname[0] == '/') {
    std::error_code ec;
    const std::filesystem::path module = std::filesystem::canonical(info.dli_fname, ec);
    if (!ec) return module.parent_path();
  }
  return OwnExecutableFolder();
}

}  // namespace corvina
