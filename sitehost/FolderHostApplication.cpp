#include "sitehost/FolderHostApplication.h"

#include <utility>

#include "sitehost/SiteAddress.h"

namespace corvina {

Result<std::string> FolderHostApplication::GetWebPageRelativeUrl(IWeb* web, std::string_view url) {
  auto* folder_web = dynamic_cast<FolderWeb*>(web);
  if (folder_web == nullptr) return Error{kErrInvalidArgument, "No open site was given"};
  return folder_web->ProjectReference(url);
}

Result<std::string> FolderHostApplication::MakeRelativeUrl(std::string_view location,
                                                           std::string_view url) {
  if (const std::optional<std::string_view> below = sitehost::RemainderBelow(url, location)) {
    return std::string(*below);
  }
  return std::string(url);
}

Result<std::unique_ptr<FolderHostApplication>> OpenSite(const std::filesystem::path& folder) {
  Result<std::unique_ptr<FolderWeb>> web = FolderWeb::Open(folder);
  if (!web.ok()) return web.error();
  return std::make_unique<FolderHostApplication>(std::move(web).value());
}

}  // namespace corvina
