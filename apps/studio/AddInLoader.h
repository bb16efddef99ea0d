#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/SharedModule.h"
#include "platform/Status.h"
#include "shared/AddInModule.h"

namespace corvina {

class IHostApplication;
class IRegistryStore;

// One entry of the host's add-in list in the registry store.
struct AddInEntry {
  std::string prog_id;
  std::string friendly_name;
  std::string description;
  uint32_t load_behavior = 0;
  std::string module;  // the shared library; empty when none is recorded
};

// The add-in entries under kAddInsKey, in the store's order. A store that cannot be read fails.
Result<std::vector<AddInEntry>> ReadAddInEntries(IRegistryStore& registry);

// Loads the add-ins that are to be connected at start-up (load behaviour 3) from their modules
// and connects them; disconnects them again when the host closes. An add-in whose module is
// missing, cannot be loaded or exports no factory is left out, and the reason is kept for the
// host to tell.
class AddInLoader {
 public:
  AddInLoader() = default;
  ~AddInLoader();
  AddInLoader(const AddInLoader&) = delete;
  AddInLoader& operator=(const AddInLoader&) = delete;

  // Returns one line per add-in that could not be connected.
  std::vector<std::string> ConnectAtStartup(IRegistryStore& registry,
                                            IHostApplication* application);
  // Raises OnBeginShutdown and OnDisconnection (host shutdown) on each connected add-in, in the
  // reverse order of connection.
  void DisconnectAll();

  struct Loaded {
    AddInEntry entry;
    SharedModule module;
    std::unique_ptr<IDTExtensibility2> addin;
  };
  const std::vector<Loaded>& loaded() const { return loaded_; }

 private:
  Result<Loaded> Load(const AddInEntry& entry);

  std::vector<Loaded> loaded_;
};

}  // namespace corvina
