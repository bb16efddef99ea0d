#include "platform/OwnExecutable.h"

namespace corvina {

std::filesystem::path OwnExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path();
}

}  // namespace corvina
