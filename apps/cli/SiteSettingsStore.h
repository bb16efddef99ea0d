#pragma once

#include <map>
#include <string>

#include "platform/ISettingsStore.h"

namespace corvina::cli {

// The settings one run sees: for the site's section, the values of the site's own settings
// file come before the per-user store's. Writes go to the per-user store only (none at all
// when read-only), so the site's file is never changed by a run.
class SiteSettingsStore : public ISettingsStore {
 public:
  struct SiteLayer {
    std::string section;                        // the site's address
    std::map<std::string, std::string> values;  // by upper-case key, as the store keeps them
    bool read_only = false;
  };

  SiteSettingsStore(ISettingsStore& user_store, SiteLayer layer)
      : user_store_(user_store), layer_(std::move(layer)) {}

  Result<std::string> GetSetting(std::string_view application, std::string_view section,
                                 std::string_view key, std::string_view default_value) override;
  Status SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                     std::string_view value) override;
  Status DeleteSection(std::string_view application, std::string_view section) override;

 private:
  ISettingsStore& user_store_;
  SiteLayer layer_;
};

}  // namespace corvina::cli
