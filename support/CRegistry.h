#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/IRegistryStore.h"
#include "platform/Status.h"

namespace corvina {

// Errors that CRegistry raises to its caller.
inline constexpr int32_t kErrInvalidKeyName = static_cast<int32_t>(0x80044651u);
inline constexpr int32_t kErrCRegistryFailure = static_cast<int32_t>(0x80044653u);

// A registry value as the caller passes and receives it: empty, text, 32-bit integer or bytes.
class RegValue {
 public:
  RegValue() = default;
  RegValue(const char* sText) : data_(std::string(sText)) {}       // NOLINT: implicit on purpose
  RegValue(std::string sText) : data_(std::move(sText)) {}         // NOLINT
  RegValue(std::string_view sText) : data_(std::string(sText)) {}  // NOLINT
  RegValue(int32_t lNumber) : data_(lNumber) {}                    // NOLINT
  RegValue(std::vector<std::byte> aBytes) : data_(std::move(aBytes)) {}  // NOLINT

  bool IsEmpty() const { return data_.index() == 0; }
  bool IsText() const { return data_.index() == 1; }
  bool IsInteger() const { return data_.index() == 2; }
  bool IsBytes() const { return data_.index() == 3; }
  const std::string& Text() const { return std::get<1>(data_); }
  int32_t Integer() const { return std::get<2>(data_); }
  const std::vector<std::byte>& Bytes() const { return std::get<3>(data_); }
  // The value as text, converted as a Variant converts: empty gives "", an integer its decimal
  // form, bytes their own characters.
  std::string AsText() const;

  bool operator==(const RegValue&) const = default;

 private:
  std::variant<std::monostate, std::string, int32_t, std::vector<std::byte>> data_;
};

// Reads and writes the registry below one root key (HKEY_CLASSES_ROOT until Init sets another).
// It reaches the registry store through the platform and keeps nothing but the root. A missing
// key or value, or a refused access, is no error: the member gives False, 0, an empty list or
// the caller's default. An empty or malformed KeyName raises kErrInvalidKeyName (GetValue,
// GetAllSubKeys and GetAllValueNames take the empty name as the root itself); a failure of the
// store itself raises kErrCRegistryFailure, whose description names the cause.
class CRegistry {
 public:
  void Init(uint32_t eRootKey) { mRootKey = eRootKey; }
  uint32_t RootKey() const { return mRootKey; }
  void RootKey(uint32_t eKey) { mRootKey = eKey; }

  Result<bool> CreateKey(std::string_view sKeyName);
  Result<bool> DeleteKey(std::string_view sKeyName);
  Result<bool> DeleteValue(std::string_view sKeyName, std::string_view sValueName);
  Result<bool> KeyExists(std::string_view sKeyName);
  // SubKeys (the caller's 1..count list) holds the names in its elements 0 to count - 1.
  Result<int32_t> GetAllSubKeys(std::string_view sKeyName, std::vector<std::string>& SubKeys);
  Result<int32_t> GetAllValueNames(std::string_view sKeyName, std::vector<std::string>& ValueNames);
  // The value's data: REG_SZ, REG_MULTI_SZ and REG_EXPAND_SZ (expanded) as text, REG_DWORD and
  // REG_DWORD_BIG_ENDIAN as an integer, every other type as bytes; vDefault when unreadable.
  Result<RegValue> GetValue(std::string_view sKeyName, std::string_view sValueName,
                            RegValue vDefault = RegValue());
  // lValueType 1 or 2: text (REG_EXPAND_SZ when it holds a %NAME% reference, else REG_SZ);
  // 3: bytes; 4 or 5: an integer, stored as REG_DWORD. A value of another kind is not stored
  // and gives True; another type gives False.
  Result<bool> SetValue(std::string_view sKeyName, std::string_view sValueName,
                        const RegValue& vValue, int32_t lValueType = 1);
  // The registry type of the value, 0 when it cannot be read.
  Result<int32_t> ValueType(std::string_view sKeyName, std::string_view sValueName);

 private:
  uint32_t mRootKey = kHkeyClassesRoot;
};

}  // namespace corvina
