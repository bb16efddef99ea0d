#pragma once

#include <map>
#include <string>

#include "platform/IEnvironment.h"

namespace corvina {

// Variables, folders and random numbers as the test sets them; the random numbers count up
// from next_random.
class FakeEnvironment : public IEnvironment {
 public:
  std::map<std::string, std::string, std::less<>> variables;
  std::string current_folder = "/work";
  std::string module_folder = "/opt/corvina";
  uint32_t next_random = 1;

  std::optional<std::string> Variable(std::string_view name) override {
    auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
  std::string CurrentFolder() override { return current_folder; }
  std::string OwnModuleFolder() override { return module_folder; }
  uint32_t RandomNumber() override { return next_random++; }
};

}  // namespace corvina
