#pragma once

#include <filesystem>
#include <memory>

#include "platform/IRegistryStore.h"

namespace corvina {

class SqliteRegistryDatabase;

struct SqliteRegistryStoreOptions {
  std::filesystem::path path;  // the database file; DefaultPath() for the user's own store
  int busy_timeout_ms = 3000;  // how long a write waits for another program's write to end
};

// The registry store of one user, kept in an SQLite database. The file is opened on first use
// and only created by the first write, so a read-only run leaves no trace. Writes are
// transactions (WAL journal), so that two programs sharing the file never lose or mix a write.
// A damaged database is never repaired, emptied or replaced: every call then fails with
// kRegErrorBadDb naming the file, which stays as it is for recovery. In a read-only folder the
// store can be read, and writes fail with kRegErrorCantWrite.
class SqliteRegistryStore : public IRegistryStore {
 public:
  explicit SqliteRegistryStore(SqliteRegistryStoreOptions options);
  ~SqliteRegistryStore() override;
  SqliteRegistryStore(const SqliteRegistryStore&) = delete;
  SqliteRegistryStore& operator=(const SqliteRegistryStore&) = delete;

  // $XDG_CONFIG_HOME/corvina/registry.db, or ~/.config/corvina/registry.db when that variable
  // is unset, empty or not an absolute path.
  static std::filesystem::path DefaultPath();

  Status OpenKey(uint32_t root, std::string_view key) override;
  Status CreateKey(uint32_t root, std::string_view key) override;
  Status DeleteKey(uint32_t root, std::string_view key) override;
  Result<std::vector<std::string>> SubKeyNames(uint32_t root, std::string_view key) override;
  Result<RegistryValue> QueryValue(uint32_t root, std::string_view key,
                                   std::string_view name) override;
  Status SetValue(uint32_t root, std::string_view key, std::string_view name, uint32_t type,
                  std::span<const std::byte> data) override;
  Status DeleteValue(uint32_t root, std::string_view key, std::string_view name) override;
  Result<std::vector<std::string>> ValueNames(uint32_t root, std::string_view key) override;

 private:
  // The names of a key's subkeys or values, by the listing query given.
  Result<std::vector<std::string>> Names(uint32_t root, std::string_view key, int query,
                                         const char* what);

  std::unique_ptr<SqliteRegistryDatabase> db_;
};

}  // namespace corvina
