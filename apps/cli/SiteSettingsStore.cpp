#include "apps/cli/SiteSettingsStore.h"

#include "apps/cli/SiteSettingsFile.h"
#include "platform/Product.h"

namespace corvina::cli {

Result<std::string> SiteSettingsStore::GetSetting(std::string_view application,
                                                  std::string_view section, std::string_view key,
                                                  std::string_view default_value) {
  if (application == kProductName && section == layer_.section) {
    if (auto it = layer_.values.find(SettingKey(key)); it != layer_.values.end()) return it->second;
  }
  return user_store_.GetSetting(application, section, key, default_value);
}

Status SiteSettingsStore::SaveSetting(std::string_view application, std::string_view section,
                                      std::string_view key, std::string_view value) {
  if (layer_.read_only) return Status::Ok();
  return user_store_.SaveSetting(application, section, key, value);
}

Status SiteSettingsStore::DeleteSection(std::string_view application, std::string_view section) {
  if (layer_.read_only) return Status::Ok();
  return user_store_.DeleteSection(application, section);
}

}  // namespace corvina::cli
