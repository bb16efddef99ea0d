#include "platform/SqliteRegistryDatabase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/RegistryNames.h"

namespace corvina {
namespace {

constexpr int32_t kApplicationId = 0x43727667;  // "Crvg": a registry database of ours
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,  -- a key's id, or the root's handle value for a top-level key
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE vals(
  id INTEGER PRIMARY KEY,   -- creation order
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, folded));
)";

constexpr const char* kQueries[kQueryCount] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2",
    "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2",
    // One statement over two lines: the parentheses keep it one element of the table.
    ("INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
     "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"),
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT name FROM vals WHERE key = ?1 ORDER BY id",
};

// Prepares one statement; the owner finalizes it.
int Prepare(sqlite3* db, const char* sql, SqliteStatement& statement, unsigned flags = 0) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v3(db, sql, -1, flags, &raw, nullptr);
  statement.reset(raw);
  return rc;
}

// A URI that opens the file read-only without the WAL index, for a folder we cannot write.
std::string ImmutableUri(const std::filesystem::path& path) {
  std::string uri = "file:";
  for (char c : path.string()) {
    if (c == '%' || c == '?' || c == '#') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[(c >> 4) & 0xF];
      uri += kHex[c & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return std::string(text ? text : "",
                     static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

Error RegistryNotFound(std::string_view what, std::string_view name) {
  return Error{kRegErrorFileNotFound,
               "registry " + std::string(what) + " not found: " + std::string(name)};
}

Error SqliteRegistryDatabase::Fail(int rc, std::string_view operation) const {
  const std::string file = options_.path.string();
  std::string detail = db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(rc);
  if (const int system_errno = db_ ? sqlite3_system_errno(db_.get()) : 0; system_errno != 0) {
    detail += std::string(" (") + std::strerror(system_errno) + ")";
  }
  // A query the schema cannot answer (a table or column gone) was not prepared.
  if ((rc & 0xFF) == SQLITE_MISUSE && !prepare_error_.empty()) {
    rc = SQLITE_CORRUPT;
    detail = prepare_error_;
  }
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Error{kRegErrorBusy, "registry database " + file +
                                      " is locked by another program (waited " +
                                      std::to_string(options_.busy_timeout_ms) + " ms to " +
                                      std::string(operation) + ")"};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return Error{kRegErrorBadDb, "registry database " + file + " is damaged (" + detail +
                                       "); it was left as it is, so that its data can be "
                                       "recovered"};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_FULL:
      return Error{kRegErrorCantWrite, "cannot " + std::string(operation) +
                                           " in registry database " + file + ": " + detail};
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
      return Error{kRegErrorCantOpen, "cannot open registry database " + file + ": " + detail};
    default:
      return Error{kRegErrorIoFailed, "registry database " + file + ": cannot " +
                                          std::string(operation) + ": " + detail};
  }
}

Result<bool> SqliteRegistryDatabase::Ready(bool for_write) {
  if (!db_) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(options_.path, ec);
    if (!exists && !for_write) return false;
    if (Status opened = Open(); !opened.ok()) {
      for (SqliteStatement& statement : statements_)
        statement.reset();
      db_.reset();
      return opened.error();
    }
  }
  if (for_write && read_only_) {
    return Error{kRegErrorCantWrite, "cannot write registry database " + options_.path.string() +
                                         ": the file or its folder is read-only"};
  }
  return !empty_;
}

void SqliteRegistryDatabase::RepairSideFileModes(unsigned mode) {
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string side = options_.path.string() + suffix;
    struct stat info {};
    if (::lstat(side.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & S_IWUSR) == 0) {
      // A side file that stays read-only makes the open fail, and that failure is reported.
      if (::chmod(side.c_str(), mode & 0777) != 0) continue;
    }
  }
}

Status SqliteRegistryDatabase::Open() {
  const std::filesystem::path folder = options_.path.parent_path();
  std::error_code ec;
  const bool exists = std::filesystem::exists(options_.path, ec);
  if (!exists) {
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      return Error{kRegErrorCantWrite, "cannot create folder " + folder.string() +
                                           " for the registry database: " + ec.message()};
    }
  }
  read_only_ = false;
  empty_ = false;
  sqlite3* raw = nullptr;
  int rc;
  // A file without write permission is read-only for this store, also for a user (root) whose
  // writes the system would allow: read as it stands, it gets no side files (-wal, -shm), which
  // SQLite would make with the file's read-only mode and which would then keep the store
  // broken after the file is made writable again.
  struct stat info {};
  const bool file_read_only =
      exists && ::stat(options_.path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
  if (exists && !file_read_only) RepairSideFileModes(info.st_mode);
  if (exists && (file_read_only || ::access(folder.c_str(), W_OK) != 0)) {
    // No journal can be made beside the file: read it as it stands.
    read_only_ = true;
    rc = sqlite3_open_v2(ImmutableUri(options_.path).c_str(), &raw,
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  } else {
    // Never SQLITE_OPEN_CREATE for a file that exists: a damaged file is not replaced.
    rc = sqlite3_open_v2(options_.path.c_str(), &raw,
                         SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE), nullptr);
  }
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    Error error = Fail(rc, "open");
    if (!exists) error.number = kRegErrorCantWrite;  // the first write could not make the file
    return error;
  }
  sqlite3_extended_result_codes(db_.get(), 1);
  sqlite3_busy_timeout(db_.get(), options_.busy_timeout_ms);
  if (sqlite3_db_readonly(db_.get(), "main") == 1) read_only_ = true;
  return CheckAndPrepare();
}

Status SqliteRegistryDatabase::CheckAndPrepare() {
  // A damaged or truncated file shows here, before anything is read from it or written to it.
  {
    SqliteStatement check;
    int rc = Prepare(db_.get(), "PRAGMA quick_check(1)", check);
    if (rc != SQLITE_OK) return Fail(rc, "check");
    rc = sqlite3_step(check.get());
    if (rc != SQLITE_ROW) return Fail(rc, "check");
    const std::string verdict = ColumnText(check.get(), 0);
    if (verdict != "ok") {
      return Error{kRegErrorBadDb, "registry database " + options_.path.string() + " is damaged (" +
                                       verdict +
                                       "); it was left as it is, so that its data can be "
                                       "recovered"};
    }
  }
  auto pragma = [&](const char* sql) -> Result<int64_t> {
    SqliteStatement statement;
    int rc = Prepare(db_.get(), sql, statement);
    if (rc == SQLITE_OK) rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW) return Fail(rc, "read the database header");
    return sqlite3_column_int64(statement.get(), 0);
  };
  // One read transaction, so that the three come from one state of a file that another
  // program may be making at this moment.
  Exec("BEGIN");
  auto application_id = pragma("PRAGMA application_id");
  auto version = pragma("PRAGMA user_version");
  auto tables = pragma("SELECT count(*) FROM sqlite_master");
  Exec("COMMIT");
  if (!application_id.ok()) return application_id.error();
  if (!version.ok()) return version.error();
  if (!tables.ok()) return tables.error();
  if (*application_id == 0 && *version == 0 && *tables == 0) {
    if (read_only_) {
      empty_ = true;
      return Status::Ok();
    }
    if (Status created = CreateSchema(); !created.ok()) return created;
  } else if (*application_id != kApplicationId) {
    return Error{kRegErrorBadDb, "registry database " + options_.path.string() +
                                     " is not a registry database of " +
                                     "this program; it was left as it is"};
  } else if (*version != kSchemaVersion) {
    return Error{kRegErrorCantOpen, "registry database " + options_.path.string() + " has format " +
                                        std::to_string(*version) +
                                        ", which this program does not know"};
  }
  // Both tables must be there; a missing one is damage, which is reported, never repaired.
  auto ours = pragma(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
      "name IN ('keys', 'vals')");
  if (!ours.ok()) return ours.error();
  if (!empty_ && *ours != 2) {
    return Error{kRegErrorBadDb, "registry database " + options_.path.string() +
                                     " is damaged (a table is missing); it was left as it is, "
                                     "so that its data can be recovered"};
  }
  // And each with the columns every query names, so that no call writes into a table that
  // another call cannot read.
  for (const char* probe : {"SELECT id, parent, name, folded FROM keys LIMIT 0",
                            "SELECT id, key, name, folded, type, data FROM vals LIMIT 0"}) {
    SqliteStatement statement;
    if (!empty_ && Prepare(db_.get(), probe, statement) != SQLITE_OK) {
      return Error{kRegErrorBadDb,
                   "registry database " + options_.path.string() +
                       " is damaged (a table lacks a column: " + sqlite3_errmsg(db_.get()) +
                       "); it was left as it is, so that its data can be "
                       "recovered"};
    }
  }
  if (!read_only_) Exec("PRAGMA synchronous = NORMAL");
  return Status::Ok();
}

sqlite3_stmt* SqliteRegistryDatabase::Get(Query query) {
  SqliteStatement& statement = statements_[query];
  // A short run reads one value: prepare only what it uses.
  if (!statement &&
      Prepare(db_.get(), kQueries[query], statement, SQLITE_PREPARE_PERSISTENT) != SQLITE_OK) {
    prepare_error_ = sqlite3_errmsg(db_.get());
  }
  return statement.get();
}

Status SqliteRegistryDatabase::CreateSchema() {
  // Two programs making a new file at once meet here. Changing the journal mode can be refused
  // at once rather than waited for, when the other program is making the same change: try
  // again until the busy time is spent, then fail as any busy write does.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.busy_timeout_ms);
  int rc;
  while (true) {
    rc = Exec("PRAGMA journal_mode = WAL");
    if (rc == SQLITE_OK) rc = Exec("BEGIN IMMEDIATE");
    if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (rc != SQLITE_OK) return Fail(rc, "create");
  // Another program may have made the tables while this one waited for the lock.
  SqliteStatement statement;
  rc = Prepare(db_.get(), "PRAGMA user_version", statement);
  if (rc == SQLITE_OK) rc = sqlite3_step(statement.get());
  const bool made = rc == SQLITE_ROW && sqlite3_column_int(statement.get(), 0) != 0;
  statement.reset();
  if (rc != SQLITE_ROW) {
    Exec("ROLLBACK");
    return Fail(rc, "create");
  }
  if (!made) {
    const std::string sql = std::string(kSchema) +
                            "PRAGMA application_id = " + std::to_string(kApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    if (rc = Exec(sql.c_str()); rc != SQLITE_OK) {
      Error error = Fail(rc, "create");
      Exec("ROLLBACK");
      return error;
    }
  }
  if (rc = Exec("COMMIT"); rc != SQLITE_OK) {
    Error error = Fail(rc, "create");
    Exec("ROLLBACK");
    return error;
  }
  return Status::Ok();
}

Status SqliteRegistryDatabase::Write(std::string_view operation,
                                     const std::function<Status()>& body) {
  auto ready = Ready(true);
  if (!ready.ok()) return ready.error();
  if (int rc = StatementUse(Get(kBegin)).Step(); rc != SQLITE_DONE) return Fail(rc, operation);
  Status status = body();
  if (status.ok()) {
    if (int rc = StatementUse(Get(kCommit)).Step(); rc != SQLITE_DONE) status = Fail(rc, operation);
  }
  // A rollback that fails still leaves the database as the last commit left it.
  if (!status.ok() && !sqlite3_get_autocommit(db_.get())) StatementUse(Get(kRollback)).Step();
  return status;
}

Result<int64_t> SqliteRegistryDatabase::FindKey(uint32_t root,
                                                const std::vector<std::string>& elements,
                                                std::string_view key) {
  int64_t id = root;
  for (const std::string& element : elements) {
    StatementUse find(Get(kFindChild));
    find.Int(1, id).Text(2, FoldRegistryName(element));
    const int rc = find.Step();
    if (rc == SQLITE_DONE) return RegistryNotFound("key", key);
    if (rc != SQLITE_ROW) return Fail(rc, "read a key");
    id = sqlite3_column_int64(find.get(), 0);
  }
  return id;
}

}  // namespace corvina
