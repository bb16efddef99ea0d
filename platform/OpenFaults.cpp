#include "platform/OpenFaults.h"

#include <utility>

namespace corvina {
namespace {

OpenFault& InstalledFault() {
  static OpenFault fault;
  return fault;
}

}  // namespace

int InjectedOpenFault(const std::filesystem::path& path) {
  const OpenFault& fault = InstalledFault();
  return fault ? fault(path) : 0;
}

bool OpenFaultInstalled() {
  return static_cast<bool>(InstalledFault());
}

ScopedOpenFault::ScopedOpenFault(OpenFault fault)
    : previous_(std::exchange(InstalledFault(), std::move(fault))) {}

ScopedOpenFault::~ScopedOpenFault() {
  InstalledFault() = std::move(previous_);
}

}  // namespace corvina
