#pragma once

#include <filesystem>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// A shared library loaded into this process (dlopen with its symbols kept to itself). It stays
// mapped until the process ends, even once released: objects it made (windows waiting for the
// event loop to delete them, its static data) may outlive the handle. Move-only.
class SharedModule {
 public:
  // Fails with the loader's own description (a missing file, a missing library it needs, an
  // undefined symbol) when the module cannot be loaded.
  static Result<SharedModule> Open(const std::filesystem::path& file);

  SharedModule(SharedModule&& other) noexcept;
  SharedModule& operator=(SharedModule&& other) noexcept;
  SharedModule(const SharedModule&) = delete;
  SharedModule& operator=(const SharedModule&) = delete;
  ~SharedModule();

  // The address of an exported symbol; fails when the module does not export it.
  Result<void*> Symbol(std::string_view name) const;

 private:
  explicit SharedModule(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

}  // namespace corvina
