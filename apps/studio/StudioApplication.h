#pragma once

#include <filesystem>
#include <memory>

#include "shared/HostObjects.h"
#include "sitehost/FolderHostApplication.h"
#include "sitehost/MemoryCommandBars.h"

namespace corvina {

// The desktop host's application object: at most one open site, a folder, and the host's
// command bars with a "Tools" menu and a "Standard" toolbar.
class StudioApplication : public IHostApplication {
 public:
  StudioApplication();

  IWeb* ActiveWeb() override { return site_ ? site_->ActiveWeb() : nullptr; }
  Result<std::string> GetWebPageRelativeUrl(IWeb* web, std::string_view url) override;
  Result<std::string> MakeRelativeUrl(std::string_view location, std::string_view url) override;
  ICommandBars* CommandBars() override { return &bars_; }

  // Opens the folder as the site, in place of the one open before.
  Status OpenSite(const std::filesystem::path& folder);
  void CloseSite() { site_.reset(); }
  FolderWeb* web() { return site_ ? site_->web() : nullptr; }
  MemoryCommandBars& bars() { return bars_; }

 private:
  std::unique_ptr<FolderHostApplication> site_;
  MemoryCommandBars bars_;
};

}  // namespace corvina
