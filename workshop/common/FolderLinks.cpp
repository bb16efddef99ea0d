#include "workshop/common/FolderLinks.h"

#include <algorithm>
#include <system_error>

namespace corvina::workshop {

std::vector<std::string> LinksLeavingFolder(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> leaving;
  std::error_code ec;
  const fs::path root = fs::canonical(folder, ec);
  if (ec) return leaving;
  auto inside = [&](const fs::path& target) {
    const fs::path relative = target.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
  };
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_symlink(type_ec)) continue;
    std::error_code target_ec;
    const fs::path target = fs::canonical(it->path(), target_ec);
    // A dangling link stores nothing; a link whose target exists outside would.
    if (!target_ec && !inside(target)) {
      leaving.push_back(it->path().lexically_relative(root).generic_string());
    }
  }
  std::sort(leaving.begin(), leaving.end());
  return leaving;
}

}  // namespace corvina::workshop
