// The registry store's key paths, value names and values: any input is either refused with an
// error or stored and read back byte for byte.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "platform/RegistryNames.h"
#include "platform/SqliteRegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  namespace fs = std::filesystem;
  static const fuzz::ScratchFolder scratch("registry-fuzz");
  static SqliteRegistryStore store(
      SqliteRegistryStoreOptions{.path = scratch.path() / "corvina" / "registry.db"});
  const auto [key, name, value] = fuzz::SplitAtNul<3>(fuzz::AsText(data, size));
  (void)SplitKeyPath(key);
  (void)CheckValueName(name);
  FoldRegistryName(name);
  FoldRegistryName(key);
  const auto* bytes = reinterpret_cast<const std::byte*>(value.data());
  const std::vector<std::byte> stored(bytes, bytes + value.size());
  const uint32_t type = value.empty() ? kRegSz : static_cast<uint8_t>(value[0]) % 8;
  if (store.SetValue(kHkeyCurrentUser, key, name, type, stored).ok()) {
    Result<RegistryValue> back = store.QueryValue(kHkeyCurrentUser, key, name);
    if (!back.ok()) __builtin_trap();
    if (back->type != type || back->data != stored) __builtin_trap();
    (void)store.DeleteValue(kHkeyCurrentUser, key, name);
  }
  (void)store.SubKeyNames(kHkeyCurrentUser, key);
  (void)store.ValueNames(kHkeyCurrentUser, key);
  return 0;
}
