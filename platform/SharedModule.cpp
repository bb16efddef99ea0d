#include "platform/SharedModule.h"

#include <dlfcn.h>

#include <string>
#include <utility>

namespace corvina {
namespace {

Error LoaderError(std::string_view operation) {
  const char* reason = ::dlerror();
  return Error{kErrFileNotFound,
               std::string(operation) + ": " + (reason ? reason : "the module cannot be loaded")};
}

}  // namespace

Result<SharedModule> SharedModule::Open(const std::filesystem::path& file) {
  ::dlerror();
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) return LoaderError("load " + file.string());
  return SharedModule(handle);
}

SharedModule::SharedModule(SharedModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedModule& SharedModule::operator=(SharedModule&& other) noexcept {
  if (this != &other) {
    if (handle_) ::dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

SharedModule::~SharedModule() {
  if (handle_) ::dlclose(handle_);
}

Result<void*> SharedModule::Symbol(std::string_view name) const {
  ::dlerror();
  void* address = ::dlsym(handle_, std::string(name).c_str());
  if (address == nullptr) return LoaderError("find " + std::string(name));
  return address;
}

}  // namespace corvina
