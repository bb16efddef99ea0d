#include "platform/SqliteRegistryStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
constexpr uint32_t kHkcu = kHkeyCurrentUser;

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* data = reinterpret_cast<const std::byte*>(text.data());
  return std::vector<std::byte>(data, data + text.size());
}

class SqliteRegistryStoreTest : public ::testing::Test {
 protected:
  fs::path db_path() const { return dir_.path() / "config" / "corvina" / "registry.db"; }
  std::unique_ptr<SqliteRegistryStore> Store(int busy_timeout_ms = 3000) {
    return std::make_unique<SqliteRegistryStore>(
        SqliteRegistryStoreOptions{.path = db_path(), .busy_timeout_ms = busy_timeout_ms});
  }
  void Fill(int values) {
    auto store = Store();
    ASSERT_TRUE(store->CreateKey(kHkcu, "Software\\Corvina").ok());
    const std::string payload(100, 'p');
    for (int i = 0; i < values; ++i) {
      ASSERT_TRUE(store
                      ->SetValue(kHkcu, "Software\\Corvina", "V" + std::to_string(i), kRegSz,
                                 Bytes(payload))
                      .ok());
    }
  }

  testing::TempDir dir_;
};

TEST_F(SqliteRegistryStoreTest, DamagedFilesFailClearlyAndStayAsTheyAre) {
  Fill(2000);
  const std::string good = testing::ReadFileBytes(db_path());
  ASSERT_GT(good.size(), 100000u);
  std::string overwritten = good;
  for (size_t i = good.size() / 2; i < good.size() / 2 + 8192; ++i)
    overwritten[i] = '\x5a';
  std::string header = good;
  header.replace(16, 2, "\x03\x00", 2);  // an impossible page size
  const std::pair<const char*, std::string> cases[] = {
      {"text", std::string(5000, 'x')},
      {"truncated header", good.substr(0, 60)},
      {"truncated to half", good.substr(0, good.size() / 2)},
      {"overwritten pages", overwritten},
      {"bad header", header},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    testing::WriteFileBytes(db_path(), bytes);
    auto store = Store();
    const Status results[] = {
        store->OpenKey(kHkcu, "Software"),
        store->QueryValue(kHkcu, "Software\\Corvina", "V1").status(),
        store->SetValue(kHkcu, "Software\\Corvina", "V1", kRegSz, Bytes("new")),
        store->CreateKey(kHkcu, "Software\\Other"),
        store->SubKeyNames(kHkcu, "").status(),
    };
    for (const Status& result : results) {
      EXPECT_EQ(result.number(), kRegErrorBadDb) << result.description();
      EXPECT_NE(
          result.description().find("registry database " + db_path().string() + " is damaged"),
          std::string::npos)
          << result.description();
    }
    store.reset();
    EXPECT_TRUE(testing::ReadFileBytes(db_path()) == bytes) << "the damaged file was changed";
  }
}

TEST_F(SqliteRegistryStoreTest, SchemaDamageIsReportedAndTheFileKept) {
  const char* damages[] = {
      "DROP TABLE vals",
      "DROP TABLE keys",
      "ALTER TABLE vals RENAME COLUMN data TO other",
  };
  for (const char* damage : damages) {
    SCOPED_TRACE(damage);
    fs::remove_all(db_path().parent_path());
    Fill(3);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db_path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, damage, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    const std::string damaged = testing::ReadFileBytes(db_path());

    auto store = Store();
    const Status results[] = {
        store->QueryValue(kHkcu, "Software\\Corvina", "V1").status(),
        store->SetValue(kHkcu, "Software\\Corvina", "V1", kRegSz, Bytes("new")),
    };
    for (const Status& result : results) {
      EXPECT_EQ(result.number(), kRegErrorBadDb) << result.description();
      EXPECT_NE(
          result.description().find("registry database " + db_path().string() + " is damaged"),
          std::string::npos)
          << result.description();
    }
    store.reset();
    EXPECT_TRUE(testing::ReadFileBytes(db_path()) == damaged) << "the damaged file was changed";
  }
}

TEST_F(SqliteRegistryStoreTest, AReadOnlyFileIsReadWithoutSideFilesAndWritableAgainLater) {
  Fill(3);
  const auto original = fs::status(db_path()).permissions();
  fs::permissions(db_path(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = testing::ReadFileBytes(db_path());
  {
    auto store = Store();
    EXPECT_TRUE(store->QueryValue(kHkcu, "Software\\Corvina", "V1").ok());
    const Status write = store->SetValue(kHkcu, "Software\\Corvina", "V1", kRegSz, Bytes("new"));
    EXPECT_EQ(write.number(), kRegErrorCantWrite);
    EXPECT_EQ(write.description(), "cannot write registry database " + db_path().string() +
                                       ": the file or its folder is read-only");
    EXPECT_FALSE(fs::exists(db_path().string() + "-shm"));
    EXPECT_FALSE(fs::exists(db_path().string() + "-wal"));
  }
  EXPECT_TRUE(testing::ReadFileBytes(db_path()) == before);

  // Side files an earlier run left read-only get the file's mode back with it.
  testing::WriteFileBytes(db_path().string() + "-shm", "");
  fs::permissions(db_path().string() + "-shm", fs::perms::owner_read);
  fs::permissions(db_path(), original);
  auto store = Store();
  EXPECT_TRUE(store->SetValue(kHkcu, "Software\\Corvina", "V1", kRegSz, Bytes("new")).ok());
  EXPECT_EQ(fs::status(db_path().string() + "-shm").permissions(), original);
  Result<RegistryValue> back = store->QueryValue(kHkcu, "Software\\Corvina", "V1");
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->data, Bytes("new"));
}

TEST_F(SqliteRegistryStoreTest, LockedDatabaseWaitsThenFailsClearlyAndReadsGoOn) {
  Fill(1);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(db_path().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other,
                         "BEGIN IMMEDIATE; INSERT INTO keys(parent, name, folded) "
                         "VALUES(1, 'x', 'x')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  auto store = Store(/*busy_timeout_ms=*/20);
  const Status write = store->SetValue(kHkcu, "Software\\Corvina", "V0", kRegSz, Bytes("x"));
  EXPECT_EQ(write.number(), kRegErrorBusy);
  EXPECT_EQ(write.description(), "registry database " + db_path().string() +
                                     " is locked by another program (waited 20 ms to write a "
                                     "value)");
  EXPECT_TRUE(store->QueryValue(kHkcu, "Software\\Corvina", "V0").ok());
  ASSERT_EQ(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  EXPECT_TRUE(store->SetValue(kHkcu, "Software\\Corvina", "V0", kRegSz, Bytes("x")).ok());
}

TEST_F(SqliteRegistryStoreTest, TwoProgramsWritingAtOnceLoseAndMixNothing) {
  constexpr int kWrites = 150;
  constexpr size_t kPayload = 3000;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      int failures = 0;
      {
        SqliteRegistryStore store({.path = db_path(), .busy_timeout_ms = 60000});
        const std::string mine(kPayload, static_cast<char>('a' + c));
        for (int i = 0; i < kWrites; ++i) {
          const std::string key = "Shared\\Key" + std::to_string(i % 7);
          failures += !store.CreateKey(kHkcu, key).ok();
          failures += !store
                           .SetValue(kHkcu, key, "C" + std::to_string(c) + "-" + std::to_string(i),
                                     kRegSz, Bytes(std::to_string(i)))
                           .ok();
          failures += !store.SetValue(kHkcu, "Shared", "Both", kRegBinary, Bytes(mine)).ok();
        }
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto store = Store();
  EXPECT_EQ(store->SubKeyNames(kHkcu, "Shared")->size(), 7u);
  size_t values = 0;
  for (int k = 0; k < 7; ++k)
    values += store->ValueNames(kHkcu, "Shared\\Key" + std::to_string(k))->size();
  EXPECT_EQ(values, 2u * kWrites);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kWrites; ++i) {
      auto value = store->QueryValue(kHkcu, "Shared\\Key" + std::to_string(i % 7),
                                     "C" + std::to_string(c) + "-" + std::to_string(i));
      ASSERT_TRUE(value.ok());
      EXPECT_EQ(value->data, Bytes(std::to_string(i)));
    }
  }
  auto both = store->QueryValue(kHkcu, "Shared", "Both");
  ASSERT_TRUE(both.ok());
  ASSERT_EQ(both->data.size(), kPayload);
  const std::byte first = both->data.front();
  EXPECT_TRUE(first == std::byte{'a'} || first == std::byte{'b'});
  EXPECT_EQ(std::count(both->data.begin(), both->data.end(), first),
            static_cast<ptrdiff_t>(kPayload));
}

}  // namespace
}  // namespace corvina
