#pragma once

#include <string>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// Per-user named texts, addressed by application, section and key. Section names are taken
// exactly as given ("file:///home/a/My Site": "/", ":" and "\" included) and each is one
// section; names compare case-insensitively only where the platform's names do (keys).
class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;

  // The saved text, or default_value when the section or key is missing.
  virtual Result<std::string> GetSetting(std::string_view application, std::string_view section,
                                         std::string_view key, std::string_view default_value) = 0;
  virtual Status SaveSetting(std::string_view application, std::string_view section,
                             std::string_view key, std::string_view value) = 0;
  // Removes the section with all its keys; a missing section is no error.
  virtual Status DeleteSection(std::string_view application, std::string_view section) = 0;
};

}  // namespace corvina
