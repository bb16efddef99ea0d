#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Status.h"
#include "shared/HostObjects.h"
#include "sitehost/FolderWeb.h"

namespace corvina {

// The host application of a front end whose site is a folder. It has no command bars.
//
// Addresses: a page's address is file:///<site folder>/<path>. Its project reference
// (GetWebPageRelativeUrl) is <path> with "/" (index.htm, folder/page.htm). MakeRelativeUrl
// gives the part of the address below the location (the site-relative path when the location
// is the site's), which GetWebPageRelativeUrl reads as site-relative, so both roads give the
// same reference. An address outside the site comes back unchanged from both: the system
// passes such references on (the compiled file's path is compared with page references and
// must not raise an error).
class FolderHostApplication : public IHostApplication {
 public:
  explicit FolderHostApplication(std::unique_ptr<FolderWeb> web) : web_(std::move(web)) {}

  IWeb* ActiveWeb() override { return web_.get(); }
  // Fails only when no site of this host is given.
  Result<std::string> GetWebPageRelativeUrl(IWeb* web, std::string_view url) override;
  Result<std::string> MakeRelativeUrl(std::string_view location, std::string_view url) override;
  ICommandBars* CommandBars() override { return nullptr; }

  FolderWeb* web() { return web_.get(); }

 private:
  std::unique_ptr<FolderWeb> web_;
};

// Opens the folder as the host's site. Fails with a clear message when the path is empty,
// does not exist, is not a folder or cannot be read.
Result<std::unique_ptr<FolderHostApplication>> OpenSite(const std::filesystem::path& folder);

}  // namespace corvina
