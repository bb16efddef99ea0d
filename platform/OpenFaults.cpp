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

ScopedOpenFault::ScopedOpenFault(OpenFault fault)
    : previous_(std::exchange(InstalledFault(), std::move(fault))) {}

ScopedOpenFault::~ScopedOpenFault() {
  InstalledFault() = std::move(previous_);
}

}  // namespace corvina
