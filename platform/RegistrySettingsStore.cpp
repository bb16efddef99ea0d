#include "platform/RegistrySettingsStore.h"

#include "platform/IRegistryStore.h"
#include "platform/RegistryNames.h"
#include "platform/TextEncoding.h"

namespace corvina {
namespace {

constexpr std::string_view kSettingsKey = "Software\\VB and VBA Program Settings\\";

Status CheckNames(std::string_view application, std::string_view section, std::string_view key) {
  const std::string_view* names[] = {&application, &section, &key};
  const char* roles[] = {"application", "section", "key"};
  for (int i = 0; i < 3; ++i) {
    if (names[i]->empty()) {
      return Error{kErrInvalidArgument, std::string("settings ") + roles[i] + " name is empty"};
    }
    if (names[i]->find('\0') != std::string_view::npos) {
      return Error{kErrInvalidArgument, std::string("settings ") + roles[i] + " name holds NUL"};
    }
  }
  return Status::Ok();
}

std::string Escape(std::string_view name, bool bMarkCase) {
  std::string out;
  size_t i = 0;
  while (i < name.size()) {
    // A byte that is not UTF-8 stands for itself.
    const size_t start = i;
    const int32_t decoded = DecodeUtf8At(name, i);
    const char32_t c = decoded < 0 ? static_cast<unsigned char>(name[start]) : decoded;
    if (c == '%') {
      out += "%25";
    } else if (c == '\\') {
      out += "%5C";
    } else if (bMarkCase && c == '^') {
      out += "%5E";
    } else {
      if (bMarkCase && FoldCodePoint(c) != c) out += '^';
      out.append(name.substr(start, i - start));
    }
  }
  return out;
}

}  // namespace

std::string RegistrySettingsStore::SectionKey(std::string_view application,
                                              std::string_view section) {
  return std::string(kSettingsKey) + Escape(application, false) + "\\" + Escape(section, true);
}

Result<std::string> RegistrySettingsStore::GetSetting(std::string_view application,
                                                      std::string_view section,
                                                      std::string_view key,
                                                      std::string_view default_value) {
  if (Status checked = CheckNames(application, section, key); !checked.ok()) {
    return checked.error();
  }
  auto value = registry_.QueryValue(kHkeyCurrentUser, SectionKey(application, section), key);
  if (!value.ok()) {
    if (IsRegistryStoreFault(value.error().number)) return value.error();
    return std::string(default_value);
  }
  // Only texts are settings; a value of another type reads as missing.
  if (value->type != kRegSz && value->type != kRegExpandSz) return std::string(default_value);
  std::string text(reinterpret_cast<const char*>(value->data.data()), value->data.size());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

Status RegistrySettingsStore::SaveSetting(std::string_view application, std::string_view section,
                                          std::string_view key, std::string_view value) {
  if (Status checked = CheckNames(application, section, key); !checked.ok()) return checked;
  const std::string section_key = SectionKey(application, section);
  std::string data(value);
  data += '\0';
  const auto* bytes = reinterpret_cast<const std::byte*>(data.data());
  // Another program may delete the section between the two steps; then create it again.
  Status stored;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (Status created = registry_.CreateKey(kHkeyCurrentUser, section_key); !created.ok()) {
      return created;
    }
    stored = registry_.SetValue(kHkeyCurrentUser, section_key, key, kRegSz,
                                std::span(bytes, data.size()));
    if (stored.number() != kRegErrorFileNotFound) break;
  }
  return stored;
}

Status RegistrySettingsStore::DeleteSection(std::string_view application,
                                            std::string_view section) {
  if (Status checked = CheckNames(application, section, "-"); !checked.ok()) return checked;
  // A section normally has no subkeys; any that another program left go first, deepest first.
  std::vector<std::string> stack{SectionKey(application, section)};
  while (!stack.empty()) {
    auto children = registry_.SubKeyNames(kHkeyCurrentUser, stack.back());
    if (!children.ok()) {
      if (children.error().number != kRegErrorFileNotFound) return children.error();
      stack.pop_back();
    } else if (children->empty()) {
      Status deleted = registry_.DeleteKey(kHkeyCurrentUser, stack.back());
      if (!deleted.ok() && deleted.number() != kRegErrorFileNotFound) return deleted;
      stack.pop_back();
    } else {
      const std::string parent = stack.back();
      for (const std::string& child : *children)
        stack.push_back(parent + "\\" + child);
    }
  }
  return Status::Ok();
}

}  // namespace corvina
