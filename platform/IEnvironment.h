#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvina {

// What the process learns from where it runs: its environment variables, its current folder,
// the folder its own code was loaded from, and random numbers that differ from run to run.
class IEnvironment {
 public:
  virtual ~IEnvironment() = default;
  // The variable's value; nothing when it is not set.
  virtual std::optional<std::string> Variable(std::string_view name) = 0;
  // The absolute path of the current folder; empty when it cannot be read.
  virtual std::string CurrentFolder() = 0;
  // The folder of the program or shared module that holds this code, where the files that
  // come with it are installed.
  virtual std::string OwnModuleFolder() = 0;
  virtual uint32_t RandomNumber() = 0;
};

}  // namespace corvina
