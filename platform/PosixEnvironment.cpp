#include "platform/PosixEnvironment.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/OwnExecutable.h"

namespace corvina {

PosixEnvironment::PosixEnvironment() : numbers_(std::random_device{}()) {}

std::optional<std::string> PosixEnvironment::Variable(std::string_view name) {
  if (name.empty()) return std::nullopt;
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string PosixEnvironment::CurrentFolder() {
  std::string folder(4096, '\0');
  while (::getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return {};
    folder.resize(folder.size() * 2);
  }
  folder.resize(folder.find('\0'));
  return folder;
}

std::string PosixEnvironment::OwnModuleFolder() {
  return corvina::OwnModuleFolder().string();
}

uint32_t PosixEnvironment::RandomNumber() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(numbers_());
}

}  // namespace corvina
