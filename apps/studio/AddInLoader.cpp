#include "apps/studio/AddInLoader.h"

#include <cstring>

#include "platform/IRegistryStore.h"

namespace corvina {
namespace {

std::string TextValue(IRegistryStore& registry, const std::string& key, std::string_view name) {
  Result<RegistryValue> value = registry.QueryValue(kHkeyCurrentUser, key, name);
  if (!value.ok() || (value->type != kRegSz && value->type != kRegExpandSz)) return {};
  std::string text(reinterpret_cast<const char*>(value->data.data()), value->data.size());
  if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

uint32_t DwordValue(IRegistryStore& registry, const std::string& key, std::string_view name) {
  Result<RegistryValue> value = registry.QueryValue(kHkeyCurrentUser, key, name);
  if (!value.ok() || value->type != kRegDword || value->data.size() != 4) return 0;
  uint32_t number = 0;
  std::memcpy(&number, value->data.data(), 4);
  return number;
}

}  // namespace

Result<std::vector<AddInEntry>> ReadAddInEntries(IRegistryStore& registry) {
  std::vector<AddInEntry> entries;
  Result<std::vector<std::string>> names = registry.SubKeyNames(kHkeyCurrentUser, kAddInsKey);
  if (!names.ok()) {
    if (names.error().number == kRegErrorFileNotFound) return entries;
    return names.error();
  }
  for (const std::string& name : *names) {
    const std::string key = std::string(kAddInsKey) + "\\" + name;
    entries.push_back(AddInEntry{
        name, TextValue(registry, key, "FriendlyName"), TextValue(registry, key, "Description"),
        DwordValue(registry, key, "LoadBehavior"), TextValue(registry, key, "Module")});
  }
  return entries;
}

AddInLoader::~AddInLoader() {
  DisconnectAll();
}

Result<AddInLoader::Loaded> AddInLoader::Load(const AddInEntry& entry) {
  if (entry.module.empty()) {
    return Error{kErrFileNotFound, "no module is recorded for it (run 'corvina setup')"};
  }
  Result<SharedModule> module = SharedModule::Open(entry.module);
  if (!module.ok()) return module.error();
  Result<void*> factory = module->Symbol(kAddInFactorySymbol);
  if (!factory.ok()) return factory.error();
  std::unique_ptr<IDTExtensibility2> addin;
  reinterpret_cast<AddInFactory> (*factory)(&addin);
  if (!addin) return Error{kErrFileNotFound, "its module made no add-in"};
  return Loaded{entry, std::move(module).value(), std::move(addin)};
}

std::vector<std::string> AddInLoader::ConnectAtStartup(IRegistryStore& registry,
                                                       IHostApplication* application) {
  std::vector<std::string> problems;
  Result<std::vector<AddInEntry>> entries = ReadAddInEntries(registry);
  if (!entries.ok()) {
    problems.push_back("The add-in list cannot be read: " + entries.error().description);
    return problems;
  }
  const uint32_t at_startup = kLoadBehaviorConnected | kLoadBehaviorStartup;
  for (const AddInEntry& entry : *entries) {
    if ((entry.load_behavior & at_startup) != at_startup) continue;
    Result<Loaded> loaded = Load(entry);
    const std::string& name = entry.friendly_name.empty() ? entry.prog_id : entry.friendly_name;
    if (!loaded.ok()) {
      problems.push_back("The add-in " + name + " was not loaded: " + loaded.error().description);
      continue;
    }
    loaded_.push_back(std::move(loaded).value());
    loaded_.back().addin->OnConnection(application, kConnectModeStartup,
                                       AddInInstance{entry.prog_id});
  }
  for (Loaded& add_in : loaded_)
    add_in.addin->OnStartupComplete();
  return problems;
}

void AddInLoader::DisconnectAll() {
  for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) {
    it->addin->OnBeginShutdown();
    it->addin->OnDisconnection(kRemoveModeHostShutdown);
  }
  // The add-ins go before their modules.
  for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it)
    it->addin.reset();
  loaded_.clear();
}

}  // namespace corvina
