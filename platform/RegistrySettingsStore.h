#pragma once

#include <string>
#include <string_view>

#include "platform/ISettingsStore.h"

namespace corvina {

class IRegistryStore;

// Settings kept in the registry store, as texts (REG_SZ) under HKEY_CURRENT_USER in
// "Software\VB and VBA Program Settings\<application>\<section>", keys as value names.
//
// A section is one key whatever it holds. Its key name is the section with "%" written "%25",
// "\" "%5C" and "^" "%5E", and every upper-case letter preceded by "^", so that a "\" never
// splits it and two sites whose names differ only in case ("/home/a/Site", "/home/a/SITE", two
// folders here) never share a section although registry names compare case-insensitively.
// The application name gets the "%" and "\" escapes.
class RegistrySettingsStore : public ISettingsStore {
 public:
  explicit RegistrySettingsStore(IRegistryStore& registry) : registry_(registry) {}

  Result<std::string> GetSetting(std::string_view application, std::string_view section,
                                 std::string_view key, std::string_view default_value) override;
  Status SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                     std::string_view value) override;
  Status DeleteSection(std::string_view application, std::string_view section) override;

  // The registry key that holds a section, relative to HKEY_CURRENT_USER.
  static std::string SectionKey(std::string_view application, std::string_view section);

 private:
  IRegistryStore& registry_;
};

}  // namespace corvina
