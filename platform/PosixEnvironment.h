#pragma once

#include <mutex>
#include <random>

#include "platform/IEnvironment.h"

namespace corvina {

// The process's own environment; random numbers come from a generator seeded once from the
// system's random source.
class PosixEnvironment : public IEnvironment {
 public:
  PosixEnvironment();

  std::optional<std::string> Variable(std::string_view name) override;
  std::string CurrentFolder() override;
  std::string OwnModuleFolder() override;
  uint32_t RandomNumber() override;

 private:
  std::mutex mutex_;
  std::mt19937 numbers_;
};

}  // namespace corvina
