#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ISettingsStore.h"

namespace corvina {

// In-memory settings that record every write in order. Faults are injected with fail_with.
class FakeSettingsStore : public ISettingsStore {
 public:
  struct Write {
    std::string application, section, key, value;
    bool operator==(const Write&) const = default;
  };

  std::vector<Write> writes;       // every SaveSetting, in order
  std::vector<std::string> reads;  // the key of every GetSetting, in order
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
  std::optional<Error> fail_with;

  Result<std::string> GetSetting(std::string_view application, std::string_view section,
                                 std::string_view key, std::string_view default_value) override {
    reads.emplace_back(key);
    if (fail_with) return *fail_with;
    auto it = values.find({std::string(application), std::string(section), std::string(key)});
    return it == values.end() ? std::string(default_value) : it->second;
  }

  Status SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                     std::string_view value) override {
    if (fail_with) return *fail_with;
    writes.push_back(Write{std::string(application), std::string(section), std::string(key),
                           std::string(value)});
    values[{std::string(application), std::string(section), std::string(key)}] = value;
    return Status::Ok();
  }

  Status DeleteSection(std::string_view application, std::string_view section) override {
    if (fail_with) return *fail_with;
    std::erase_if(values, [&](const auto& entry) {
      return std::get<0>(entry.first) == application && std::get<1>(entry.first) == section;
    });
    return Status::Ok();
  }

  // The keys written to one section, in the order of writing.
  std::vector<std::string> KeysWritten(std::string_view section) const {
    std::vector<std::string> keys;
    for (const Write& write : writes) {
      if (write.section == section) keys.push_back(write.key);
    }
    return keys;
  }
};

}  // namespace corvina
