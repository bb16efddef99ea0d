// SetValue + GetValue pairs through CRegistry and through the settings store, beside the same
// work done with raw SQLite prepared statements on the same schema and pragmas; and opening
// the store for one read, beside a raw open and read.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/RegistryNames.h"
#include "platform/RegistrySettingsStore.h"
#include "platform/SqliteRegistryStore.h"
#include "support/CRegistry.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

constexpr int kPairs = 10000;
constexpr std::string_view kKey = "Software\\Microsoft\\HTML Help Workshop";

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "corvina-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  fs::path db() const { return path_ / "registry.db"; }

 private:
  fs::path path_;
};

// A store with the schema made and the key present.
std::unique_ptr<SqliteRegistryStore> MakeStore(const fs::path& db, int values = 0) {
  auto store = std::make_unique<SqliteRegistryStore>(SqliteRegistryStoreOptions{.path = db});
  if (!store->CreateKey(kHkeyCurrentUser, kKey).ok()) std::abort();
  const std::byte data[] = {std::byte{'x'}, std::byte{0}};
  for (int i = 0; i < values; ++i) {
    if (!store->SetValue(kHkeyCurrentUser, kKey, "V" + std::to_string(i), kRegSz, data).ok()) {
      std::abort();
    }
  }
  return store;
}

void BM_CRegistrySetGet(benchmark::State& state) {
  ScratchFolder folder;
  auto store = MakeStore(folder.db());
  ScopedPlatform platform(Platform{.registry = store.get()});
  CRegistry reg;
  reg.Init(kHkeyCurrentUser);
  int i = 0;
  for (auto _ : state) {
    const std::string name = "V" + std::to_string(i++);
    if (!*reg.SetValue(kKey, name, RegValue("/opt/html help workshop"), 1)) std::abort();
    benchmark::DoNotOptimize(reg.GetValue(kKey, name, RegValue("")));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CRegistrySetGet)->Iterations(kPairs)->Unit(benchmark::kMicrosecond);

void BM_SettingsSetGet(benchmark::State& state) {
  ScratchFolder folder;
  auto store = MakeStore(folder.db());
  RegistrySettingsStore settings(*store);
  int i = 0;
  for (auto _ : state) {
    const std::string key = "K" + std::to_string(i++);
    if (!settings.SaveSetting("Corvina", "file:///home/a/My Site", key, "1234").ok()) std::abort();
    benchmark::DoNotOptimize(settings.GetSetting("Corvina", "file:///home/a/My Site", key, ""));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SettingsSetGet)->Iterations(kPairs)->Unit(benchmark::kMicrosecond);

// The baseline: the statements the store needs for the same pair, prepared once, on the same
// schema and pragmas: one transaction that walks the key path and upserts, one walk and select.
class RawStore {
 public:
  explicit RawStore(const fs::path& db) {
    sqlite3_open_v2(db.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db_, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
    Prepare("BEGIN IMMEDIATE", &begin_);
    Prepare("COMMIT", &commit_);
    Prepare("SELECT id FROM keys WHERE parent = ?1 AND folded = ?2", &find_key_);
    Prepare(
        "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
        &upsert_);
    Prepare("SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2", &select_);
  }
  ~RawStore() {
    for (sqlite3_stmt* s : {begin_, commit_, find_key_, upsert_, select_})
      sqlite3_finalize(s);
    sqlite3_close(db_);
  }

  int64_t Walk(const std::vector<std::string>& folded) {
    int64_t id = kHkeyCurrentUser;
    for (const std::string& element : folded) {
      sqlite3_bind_int64(find_key_, 1, id);
      sqlite3_bind_text(find_key_, 2, element.data(), static_cast<int>(element.size()),
                        SQLITE_STATIC);
      if (sqlite3_step(find_key_) != SQLITE_ROW) std::abort();
      id = sqlite3_column_int64(find_key_, 0);
      sqlite3_reset(find_key_);
    }
    return id;
  }
  void Set(const std::vector<std::string>& path, const std::string& name, std::string_view data) {
    Step(begin_);
    const int64_t id = Walk(path);
    const std::string folded = FoldRegistryName(name);
    sqlite3_bind_int64(upsert_, 1, id);
    sqlite3_bind_text(upsert_, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_text(upsert_, 3, folded.data(), static_cast<int>(folded.size()), SQLITE_STATIC);
    sqlite3_bind_int64(upsert_, 4, kRegSz);
    sqlite3_bind_blob(upsert_, 5, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
    Step(upsert_);
    Step(commit_);
  }
  std::string Get(const std::vector<std::string>& path, const std::string& name) {
    const int64_t id = Walk(path);
    const std::string folded = FoldRegistryName(name);
    sqlite3_bind_int64(select_, 1, id);
    sqlite3_bind_text(select_, 2, folded.data(), static_cast<int>(folded.size()), SQLITE_STATIC);
    std::string text;
    if (sqlite3_step(select_) == SQLITE_ROW) {
      text.assign(static_cast<const char*>(sqlite3_column_blob(select_, 1)),
                  static_cast<size_t>(sqlite3_column_bytes(select_, 1)));
    }
    sqlite3_reset(select_);
    return text;
  }

 private:
  void Prepare(const char* sql, sqlite3_stmt** statement) {
    if (sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) != SQLITE_OK) std::abort();
  }
  static void Step(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) std::abort();
    sqlite3_reset(statement);
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt *begin_ = nullptr, *commit_ = nullptr, *find_key_ = nullptr, *upsert_ = nullptr,
               *select_ = nullptr;
};

std::vector<std::string> FoldedPath(std::string_view key) {
  std::vector<std::string> path = *SplitKeyPath(key);
  for (std::string& element : path)
    element = FoldRegistryName(element);
  return path;
}

void BM_BaselineRawSqliteSetGet(benchmark::State& state) {
  ScratchFolder folder;
  MakeStore(folder.db());
  RawStore raw(folder.db());
  const std::vector<std::string> path = FoldedPath(kKey);
  int i = 0;
  for (auto _ : state) {
    const std::string name = "V" + std::to_string(i++);
    raw.Set(path, name, std::string_view("/opt/html help workshop\0", 24));
    benchmark::DoNotOptimize(raw.Get(path, name));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineRawSqliteSetGet)->Iterations(kPairs)->Unit(benchmark::kMicrosecond);

// A command-line run opens the store and reads InstallDir once.
void BM_OpenAndOneRead(benchmark::State& state) {
  ScratchFolder folder;
  MakeStore(folder.db(), 200);
  for (auto _ : state) {
    SqliteRegistryStore store({.path = folder.db()});
    benchmark::DoNotOptimize(store.QueryValue(kHkeyCurrentUser, kKey, "V7"));
  }
}
BENCHMARK(BM_OpenAndOneRead)->Unit(benchmark::kMicrosecond);

void BM_BaselineRawOpenAndOneRead(benchmark::State& state) {
  ScratchFolder folder;
  MakeStore(folder.db(), 200);
  const std::vector<std::string> path = FoldedPath(kKey);
  for (auto _ : state) {
    RawStore raw(folder.db());
    benchmark::DoNotOptimize(raw.Get(path, "V7"));
  }
}
BENCHMARK(BM_BaselineRawOpenAndOneRead)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvina

BENCHMARK_MAIN();
