#include "support/CRegistry.h"

#include <cstring>
#include <optional>

#include "platform/IEnvironment.h"
#include "platform/Platform.h"
#include "platform/RegistryNames.h"

namespace corvina {
namespace {

Error InvalidKeyName() {
  return Error{kErrInvalidKeyName, "Invalid KeyName value"};
}

// The store's own failures (damaged or locked database) keep their cause in the description,
// so that the user learns which file is at fault.
Error ComponentFailure(const Error& cause) {
  return Error{kErrCRegistryFailure, "CRegistry component failure: " + cause.description};
}

bool IsFault(const Status& status) {
  return !status.ok() && IsRegistryStoreFault(status.number());
}

// Empty names are refused where bEmptyAllowed is false; malformed ones always.
Status CheckKeyName(std::string_view sKeyName, bool bEmptyAllowed) {
  if (sKeyName.empty()) return bEmptyAllowed ? Status::Ok() : Status(InvalidKeyName());
  if (!SplitKeyPath(sKeyName).ok()) return InvalidKeyName();
  return Status::Ok();
}

// Environment references expand as Windows expands them: %NAME% becomes the variable's value;
// an unknown name, or a "%" without a partner, stays as written.
std::string ExpandEnvironmentStrings(std::string_view sText) {
  std::string out;
  size_t pos = 0;
  while (pos < sText.size()) {
    const size_t open = sText.find('%', pos);
    if (open == std::string_view::npos) break;
    const size_t close = sText.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(sText.substr(pos, open - pos));
    const std::string_view name = sText.substr(open + 1, close - open - 1);
    const std::optional<std::string> value =
        name.empty() ? std::nullopt : Environment().Variable(name);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // The closing "%" may open the next reference.
      out.append(sText.substr(open, close - open));
      pos = close;
    }
  }
  out.append(sText.substr(pos));
  return out;
}

// "%" followed, two or more characters later, by another "%" (so %X% counts, %% does not).
bool HasExpandableReference(std::string_view sText) {
  const size_t first = sText.find('%');
  return first != std::string_view::npos && sText.find('%', first + 2) != std::string_view::npos;
}

std::string TextOf(const std::vector<std::byte>& data) {
  std::string text(reinterpret_cast<const char*>(data.data()), data.size());
  // The stored terminator is not part of the text; data without one loses nothing.
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

int32_t DwordOf(const std::vector<std::byte>& data, bool bBigEndian) {
  std::byte bytes[4] = {};
  std::memcpy(bytes, data.data(), std::min<size_t>(data.size(), 4));
  if (bBigEndian) {
    std::swap(bytes[0], bytes[3]);
    std::swap(bytes[1], bytes[2]);
  }
  int32_t value = 0;
  std::memcpy(&value, bytes, 4);
  return value;
}

}  // namespace

std::string RegValue::AsText() const {
  if (IsText()) return Text();
  if (IsInteger()) return std::to_string(Integer());
  if (IsBytes()) return std::string(reinterpret_cast<const char*>(Bytes().data()), Bytes().size());
  return std::string();
}

Result<bool> CRegistry::CreateKey(std::string_view sKeyName) {
  if (Status checked = CheckKeyName(sKeyName, false); !checked.ok()) return checked.error();
  Status status = RegistryStore().CreateKey(mRootKey, sKeyName);
  if (IsFault(status)) return ComponentFailure(status.error());
  return status.ok();
}

Result<bool> CRegistry::DeleteKey(std::string_view sKeyName) {
  if (Status checked = CheckKeyName(sKeyName, false); !checked.ok()) return checked.error();
  Status status = RegistryStore().DeleteKey(mRootKey, sKeyName);
  if (IsFault(status)) return ComponentFailure(status.error());
  return status.ok();
}

Result<bool> CRegistry::DeleteValue(std::string_view sKeyName, std::string_view sValueName) {
  if (Status checked = CheckKeyName(sKeyName, false); !checked.ok()) return checked.error();
  Status opened = RegistryStore().OpenKey(mRootKey, sKeyName);
  if (IsFault(opened)) return ComponentFailure(opened.error());
  if (!opened.ok()) return false;
  Status status = RegistryStore().DeleteValue(mRootKey, sKeyName, sValueName);
  if (IsFault(status)) return ComponentFailure(status.error());
  return status.ok();
}

Result<bool> CRegistry::KeyExists(std::string_view sKeyName) {
  if (Status checked = CheckKeyName(sKeyName, false); !checked.ok()) return checked.error();
  Status opened = RegistryStore().OpenKey(mRootKey, sKeyName);
  if (IsFault(opened)) return ComponentFailure(opened.error());
  return opened.ok();
}

Result<int32_t> CRegistry::GetAllSubKeys(std::string_view sKeyName,
                                         std::vector<std::string>& SubKeys) {
  SubKeys.clear();
  if (Status checked = CheckKeyName(sKeyName, true); !checked.ok()) return checked.error();
  auto names = RegistryStore().SubKeyNames(mRootKey, sKeyName);
  if (IsFault(names.status())) return ComponentFailure(names.error());
  if (!names.ok()) return 0;
  SubKeys = std::move(names).value();
  return static_cast<int32_t>(SubKeys.size());
}

Result<int32_t> CRegistry::GetAllValueNames(std::string_view sKeyName,
                                            std::vector<std::string>& ValueNames) {
  ValueNames.clear();
  if (Status checked = CheckKeyName(sKeyName, true); !checked.ok()) return checked.error();
  auto names = RegistryStore().ValueNames(mRootKey, sKeyName);
  if (IsFault(names.status())) return ComponentFailure(names.error());
  if (!names.ok()) return 0;
  ValueNames = std::move(names).value();
  return static_cast<int32_t>(ValueNames.size());
}

Result<RegValue> CRegistry::GetValue(std::string_view sKeyName, std::string_view sValueName,
                                     RegValue vDefault) {
  if (Status checked = CheckKeyName(sKeyName, true); !checked.ok()) return checked.error();
  auto stored = RegistryStore().QueryValue(mRootKey, sKeyName, sValueName);
  if (IsFault(stored.status())) return ComponentFailure(stored.error());
  if (!stored.ok()) return vDefault;
  const RegistryValue& value = *stored;
  switch (value.type) {
    case kRegSz:
    case kRegMultiSz:
      return RegValue(TextOf(value.data));
    case kRegExpandSz:
      return RegValue(ExpandEnvironmentStrings(TextOf(value.data)));
    case kRegDword:
      return RegValue(DwordOf(value.data, false));
    case kRegDwordBigEndian:
      return RegValue(DwordOf(value.data, true));
    default:
      return RegValue(value.data);
  }
}

Result<bool> CRegistry::SetValue(std::string_view sKeyName, std::string_view sValueName,
                                 const RegValue& vValue, int32_t lValueType) {
  if (Status checked = CheckKeyName(sKeyName, false); !checked.ok()) return checked.error();
  Status created = RegistryStore().CreateKey(mRootKey, sKeyName);
  if (IsFault(created)) return ComponentFailure(created.error());
  if (!created.ok()) return false;

  uint32_t type = kRegNone;
  std::vector<std::byte> data;
  switch (lValueType) {
    case 1:
    case 2: {
      const std::string text = vValue.AsText();
      type = HasExpandableReference(text) ? kRegExpandSz : kRegSz;
      const auto* bytes = reinterpret_cast<const std::byte*>(text.data());
      data.assign(bytes, bytes + text.size());
      data.push_back(std::byte{0});
      break;
    }
    case 3:
      if (!vValue.IsBytes()) return true;
      type = kRegBinary;
      data = vValue.Bytes();
      break;
    case 4:
    case 5: {
      if (!vValue.IsInteger()) return true;
      type = kRegDword;
      const int32_t number = vValue.Integer();
      data.resize(4);
      std::memcpy(data.data(), &number, 4);
      break;
    }
    default:
      return false;
  }
  Status status = RegistryStore().SetValue(mRootKey, sKeyName, sValueName, type, data);
  if (IsFault(status)) return ComponentFailure(status.error());
  return status.ok();
}

Result<int32_t> CRegistry::ValueType(std::string_view sKeyName, std::string_view sValueName) {
  if (Status checked = CheckKeyName(sKeyName, false); !checked.ok()) return checked.error();
  auto stored = RegistryStore().QueryValue(mRootKey, sKeyName, sValueName);
  if (IsFault(stored.status())) return ComponentFailure(stored.error());
  if (!stored.ok()) return 0;
  return static_cast<int32_t>(stored->type);
}

}  // namespace corvina
