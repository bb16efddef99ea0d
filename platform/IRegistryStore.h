#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace corvina {

// Predefined roots, with the handle values of the Windows registry.
inline constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
inline constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
inline constexpr uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr uint32_t kHkeyUsers = 0x80000003u;
inline constexpr uint32_t kHkeyCurrentConfig = 0x80000005u;

// Value types, with the Windows numbers.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;

// Results of the store: the Error's number is the Win32 result code (0 is success).
inline constexpr int32_t kRegErrorFileNotFound = 2;       // no such key or value
inline constexpr int32_t kRegErrorAccessDenied = 5;       // e.g. deleting a key that has subkeys
inline constexpr int32_t kRegErrorInvalidHandle = 6;      // not a predefined root
inline constexpr int32_t kRegErrorInvalidParameter = 87;  // malformed key or value name
inline constexpr int32_t kRegErrorBusy = 170;             // another program keeps the store locked
inline constexpr int32_t kRegErrorMoreData = 234;
inline constexpr int32_t kRegErrorNoMoreItems = 259;
inline constexpr int32_t kRegErrorBadDb = 1009;     // the database file is damaged
inline constexpr int32_t kRegErrorCantOpen = 1011;  // the database cannot be opened
inline constexpr int32_t kRegErrorCantRead = 1012;
inline constexpr int32_t kRegErrorCantWrite = 1013;  // read-only file or folder, full disk
inline constexpr int32_t kRegErrorIoFailed = 1016;

// Limits of the Windows registry: a key name (one path element) and a value name.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;

// True for a failure of the store itself (damaged, locked, unreadable or unwritable database),
// as opposed to a result about the keys and values (not found, access denied, bad name).
inline bool IsRegistryStoreFault(int32_t code) {
  return code == kRegErrorBusy || (code >= kRegErrorBadDb && code <= kRegErrorIoFailed);
}

struct RegistryValue {
  uint32_t type = kRegNone;
  std::vector<std::byte> data;
};

// The per-user registry: keys below predefined roots, named by paths with "\" between the
// elements (a single trailing "\" is allowed), and typed values inside them. Key and value
// names compare case-insensitively and keep the case they were created with; the empty value
// name is the key's default value. Texts are UTF-8. Every write is atomic, also between
// processes sharing the store. Failures carry a Win32 result code as their number and a text
// that names the cause (and the database file for faults of the store itself).
class IRegistryStore {
 public:
  virtual ~IRegistryStore() = default;

  // Succeeds when the key exists. An empty key is the root itself.
  virtual Status OpenKey(uint32_t root, std::string_view key) = 0;
  // Creates the key and every missing key along its path; succeeds when it already exists.
  virtual Status CreateKey(uint32_t root, std::string_view key) = 0;
  // Deletes a key without subkeys (kRegErrorAccessDenied when it has some), with its values.
  virtual Status DeleteKey(uint32_t root, std::string_view key) = 0;
  // The names of the key's direct subkeys, in case-insensitive order.
  virtual Result<std::vector<std::string>> SubKeyNames(uint32_t root, std::string_view key) = 0;

  // The whole value, type and data.
  virtual Result<RegistryValue> QueryValue(uint32_t root, std::string_view key,
                                           std::string_view name) = 0;
  // Creates or replaces a value of an existing key; a replaced value keeps its name's case.
  virtual Status SetValue(uint32_t root, std::string_view key, std::string_view name, uint32_t type,
                          std::span<const std::byte> data) = 0;
  virtual Status DeleteValue(uint32_t root, std::string_view key, std::string_view name) = 0;
  // The names of the key's values, in the order they were created.
  virtual Result<std::vector<std::string>> ValueNames(uint32_t root, std::string_view key) = 0;
};

}  // namespace corvina
