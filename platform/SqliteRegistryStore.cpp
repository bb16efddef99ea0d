#include "platform/SqliteRegistryStore.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/RegistryNames.h"
#include "platform/SqliteRegistryDatabase.h"

namespace corvina {
namespace {

Result<std::vector<std::string>> CheckKey(uint32_t root, std::string_view key) {
  auto elements = SplitKeyPath(key);
  if (!elements.ok()) return elements.error();
  if (!IsPredefinedRoot(root)) {
    return Error{kRegErrorInvalidHandle, "not a predefined registry root: " + std::to_string(root)};
  }
  return elements;
}

}  // namespace

SqliteRegistryStore::SqliteRegistryStore(SqliteRegistryStoreOptions options)
    : db_(std::make_unique<SqliteRegistryDatabase>(std::move(options))) {}

SqliteRegistryStore::~SqliteRegistryStore() = default;

std::filesystem::path SqliteRegistryStore::DefaultPath() {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    config = std::filesystem::path(home) / ".config";
  } else if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
    config = std::filesystem::path(entry->pw_dir) / ".config";
  } else {
    config = ".config";
  }
  return config / "corvina" / "registry.db";
}

Status SqliteRegistryStore::OpenKey(uint32_t root, std::string_view key) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  auto ready = db_->Ready(false);
  if (!ready.ok()) return ready.error();
  if (!*ready) return elements->empty() ? Status::Ok() : Status(RegistryNotFound("key", key));
  return db_->FindKey(root, *elements, key).status();
}

Status SqliteRegistryStore::CreateKey(uint32_t root, std::string_view key) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  // Most calls find the key made already; that needs no write transaction.
  if (Status found = OpenKey(root, key); found.number() != kRegErrorFileNotFound) return found;
  return db_->Write("create a key", [&]() -> Status {
    int64_t id = root;
    for (const std::string& element : *elements) {
      const std::string folded = FoldRegistryName(element);
      StatementUse find(db_->Get(kFindChild));
      find.Int(1, id).Text(2, folded);
      int rc = find.Step();
      if (rc == SQLITE_ROW) {
        id = sqlite3_column_int64(find.get(), 0);
        continue;
      }
      if (rc != SQLITE_DONE) return db_->Fail(rc, "read a key");
      StatementUse insert(db_->Get(kInsertKey));
      insert.Int(1, id).Text(2, element).Text(3, folded);
      if (rc = insert.Step(); rc != SQLITE_DONE) return db_->Fail(rc, "create a key");
      id = sqlite3_last_insert_rowid(sqlite3_db_handle(insert.get()));
    }
    return Status::Ok();
  });
}

Status SqliteRegistryStore::DeleteKey(uint32_t root, std::string_view key) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  if (elements->empty()) return Error{kRegErrorAccessDenied, "a root key cannot be deleted"};
  if (Status found = OpenKey(root, key); !found.ok()) return found;
  return db_->Write("delete a key", [&]() -> Status {
    auto id = db_->FindKey(root, *elements, key);
    if (!id.ok()) return id.error();
    {
      StatementUse children(db_->Get(kHasChildren));
      children.Int(1, *id);
      const int rc = children.Step();
      if (rc == SQLITE_ROW) {
        return Error{kRegErrorAccessDenied, "registry key has subkeys: " + std::string(key)};
      }
      if (rc != SQLITE_DONE) return db_->Fail(rc, "read a key");
    }
    for (Query query : {kDeleteKeyValues, kDeleteKey}) {
      StatementUse remove(db_->Get(query));
      remove.Int(1, *id);
      if (int rc = remove.Step(); rc != SQLITE_DONE) return db_->Fail(rc, "delete a key");
    }
    return Status::Ok();
  });
}

Result<std::vector<std::string>> SqliteRegistryStore::SubKeyNames(uint32_t root,
                                                                  std::string_view key) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  auto ready = db_->Ready(false);
  if (!ready.ok()) return ready.error();
  if (!*ready) {
    if (elements->empty()) return std::vector<std::string>();
    return RegistryNotFound("key", key);
  }
  auto id = db_->FindKey(root, *elements, key);
  if (!id.ok()) return id.error();
  std::vector<std::string> names;
  StatementUse children(db_->Get(kChildren));
  children.Int(1, *id);
  int rc;
  while ((rc = children.Step()) == SQLITE_ROW)
    names.push_back(ColumnText(children.get(), 0));
  if (rc != SQLITE_DONE) return db_->Fail(rc, "list keys");
  return names;
}

Result<RegistryValue> SqliteRegistryStore::QueryValue(uint32_t root, std::string_view key,
                                                      std::string_view name) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  if (Status checked = CheckValueName(name); !checked.ok()) return checked.error();
  auto ready = db_->Ready(false);
  if (!ready.ok()) return ready.error();
  if (!*ready)
    return RegistryNotFound(elements->empty() ? "value" : "key", elements->empty() ? name : key);
  auto id = db_->FindKey(root, *elements, key);
  if (!id.ok()) return id.error();
  StatementUse find(db_->Get(kFindValue));
  find.Int(1, *id).Text(2, FoldRegistryName(name));
  const int rc = find.Step();
  if (rc == SQLITE_DONE) return RegistryNotFound("value", name);
  if (rc != SQLITE_ROW) return db_->Fail(rc, "read a value");
  RegistryValue value;
  value.type = static_cast<uint32_t>(sqlite3_column_int64(find.get(), 0));
  const auto* data = static_cast<const std::byte*>(sqlite3_column_blob(find.get(), 1));
  value.data.assign(data, data + sqlite3_column_bytes(find.get(), 1));
  return value;
}

Status SqliteRegistryStore::SetValue(uint32_t root, std::string_view key, std::string_view name,
                                     uint32_t type, std::span<const std::byte> data) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  if (Status checked = CheckValueName(name); !checked.ok()) return checked;
  // Without a database there is only the root; no file is made for a missing key.
  auto ready = db_->Ready(false);
  if (!ready.ok()) return ready.error();
  if (!*ready && !elements->empty()) return RegistryNotFound("key", key);
  return db_->Write("write a value", [&]() -> Status {
    auto id = db_->FindKey(root, *elements, key);
    if (!id.ok()) return id.error();
    StatementUse upsert(db_->Get(kUpsertValue));
    upsert.Int(1, *id).Text(2, name).Text(3, FoldRegistryName(name)).Int(4, type).Blob(5, data);
    if (int rc = upsert.Step(); rc != SQLITE_DONE) return db_->Fail(rc, "write a value");
    return Status::Ok();
  });
}

Status SqliteRegistryStore::DeleteValue(uint32_t root, std::string_view key,
                                        std::string_view name) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  if (Status checked = CheckValueName(name); !checked.ok()) return checked;
  if (auto found = QueryValue(root, key, name); !found.ok()) return found.error();
  return db_->Write("delete a value", [&]() -> Status {
    auto id = db_->FindKey(root, *elements, key);
    if (!id.ok()) return id.error();
    StatementUse remove(db_->Get(kDeleteValue));
    remove.Int(1, *id).Text(2, FoldRegistryName(name));
    if (int rc = remove.Step(); rc != SQLITE_DONE) return db_->Fail(rc, "delete a value");
    if (sqlite3_changes(sqlite3_db_handle(remove.get())) == 0)
      return RegistryNotFound("value", name);
    return Status::Ok();
  });
}

Result<std::vector<std::string>> SqliteRegistryStore::ValueNames(uint32_t root,
                                                                 std::string_view key) {
  auto elements = CheckKey(root, key);
  if (!elements.ok()) return elements.error();
  auto ready = db_->Ready(false);
  if (!ready.ok()) return ready.error();
  if (!*ready) {
    if (elements->empty()) return std::vector<std::string>();
    return RegistryNotFound("key", key);
  }
  auto id = db_->FindKey(root, *elements, key);
  if (!id.ok()) return id.error();
  std::vector<std::string> names;
  StatementUse values(db_->Get(kValueNames));
  values.Int(1, *id);
  int rc;
  while ((rc = values.Step()) == SQLITE_ROW)
    names.push_back(ColumnText(values.get(), 0));
  if (rc != SQLITE_DONE) return db_->Fail(rc, "list values");
  return names;
}

}  // namespace corvina
