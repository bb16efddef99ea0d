#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SqliteRegistryStore.h"

namespace corvina {

enum Query {
  kBegin,
  kCommit,
  kRollback,
  kFindChild,
  kInsertKey,
  kChildren,
  kHasChildren,
  kDeleteKey,
  kDeleteKeyValues,
  kFindValue,
  kUpsertValue,
  kDeleteValue,
  kValueNames,
  kQueryCount
};

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Binds a statement's parameters for one use and resets it when the use ends.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  // A statement that could not be prepared (a damaged schema) is null: its use fails with
  // SQLITE_MISUSE at Step, and there is nothing to reset.
  ~StatementUse() {
    if (statement_ == nullptr) return;
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

  StatementUse& Int(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  StatementUse& Text(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  StatementUse& Blob(int index, std::span<const std::byte> data) {
    sqlite3_bind_blob(statement_, index, data.empty() ? "" : static_cast<const void*>(data.data()),
                      static_cast<int>(data.size()), SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return sqlite3_step(statement_); }
  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_;
};

std::string ColumnText(sqlite3_stmt* statement, int column);

// kRegErrorFileNotFound for a key or value.
Error RegistryNotFound(std::string_view what, std::string_view name);

// The open database of a SqliteRegistryStore: opening and checking the file, the schema, the
// prepared statements, write transactions and the one converter of SQLite failures.
class SqliteRegistryDatabase {
 public:
  explicit SqliteRegistryDatabase(SqliteRegistryStoreOptions options)
      : options_(std::move(options)) {}

  // Opens the database when needed: true when it is open, false when there is no store yet
  // and the caller only reads (it then sees an empty store).
  Result<bool> Ready(bool for_write);

  // Runs body inside one write transaction; rolls back when it fails.
  Status Write(std::string_view operation, const std::function<Status()>& body);

  // The statement, prepared on first use (a statement that cannot be prepared is null, and
  // stepping it fails as a misuse).
  sqlite3_stmt* Get(Query query);

  // The id of the key at the end of the path, or kRegErrorFileNotFound.
  Result<int64_t> FindKey(uint32_t root, const std::vector<std::string>& elements,
                          std::string_view key);

  // The one converter of SQLite failures: damaged, locked, read-only or unreadable database.
  Error Fail(int rc, std::string_view operation) const;
  // Side files left read-only (by an earlier run on a read-only file) get the file's own mode
  // back once the file is writable.
  void RepairSideFileModes(unsigned mode);

 private:
  Status Open();
  Status CheckAndPrepare();
  Status CreateSchema();
  int Exec(const char* sql) { return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr); }

  SqliteRegistryStoreOptions options_;
  SqliteDb db_;
  bool read_only_ = false;
  bool empty_ = false;  // open read-only on a database without our tables
  SqliteStatement statements_[kQueryCount];
  std::string prepare_error_;  // why the last statement that failed to prepare failed
};

}  // namespace corvina
