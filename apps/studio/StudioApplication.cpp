#include "apps/studio/StudioApplication.h"

namespace corvina {
namespace {

Error NoSite() {
  return Error{91, "Object variable or With block variable not set"};
}

}  // namespace

StudioApplication::StudioApplication() {
  bars_.AddBar("Tools");
  bars_.AddBar("Standard");
}

Result<std::string> StudioApplication::GetWebPageRelativeUrl(IWeb* web, std::string_view url) {
  if (!site_) return NoSite();
  return site_->GetWebPageRelativeUrl(web, url);
}

Result<std::string> StudioApplication::MakeRelativeUrl(std::string_view location,
                                                       std::string_view url) {
  if (!site_) return NoSite();
  return site_->MakeRelativeUrl(location, url);
}

Status StudioApplication::OpenSite(const std::filesystem::path& folder) {
  Result<std::unique_ptr<FolderHostApplication>> opened = corvina::OpenSite(folder);
  if (!opened.ok()) return opened.error();
  site_ = std::move(opened).value();
  return Status::Ok();
}

}  // namespace corvina
