#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "platform/IRegistryStore.h"
#include "platform/RegistryNames.h"
#include "platform/SqliteRegistryStore.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ReadFileBytes;
constexpr uint32_t kHkcu = kHkeyCurrentUser;

// The promises of IRegistryStore, kept by the fake and by the real store alike.
class RegistryStoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "Fake") {
      store_ = std::make_unique<FakeRegistryStore>();
    } else {
      store_ = std::make_unique<SqliteRegistryStore>(
          SqliteRegistryStoreOptions{.path = dir_ / "registry.db"});
    }
  }

  testing::TempDir dir_;
  std::unique_ptr<IRegistryStore> store_;
};

TEST_P(RegistryStoreTest, CreatesKeysAlongThePathAndFindsThemInAnyCase) {
  EXPECT_EQ(store_->OpenKey(kHkcu, "Software\\Corvina").number(), kRegErrorFileNotFound);
  ASSERT_TRUE(store_->CreateKey(kHkcu, "Software\\Corvina\\Sites").ok());
  ASSERT_TRUE(store_->CreateKey(kHkcu, "SOFTWARE\\corvina\\sites").ok());  // exists: success
  EXPECT_TRUE(store_->OpenKey(kHkcu, "Software\\CORVINA").ok());
  EXPECT_TRUE(store_->OpenKey(kHkcu, "").ok());
  EXPECT_EQ(store_->OpenKey(kHkeyLocalMachine, "Software").number(), kRegErrorFileNotFound);
  EXPECT_EQ(*store_->SubKeyNames(kHkcu, "software"), std::vector<std::string>{"Corvina"});
}

TEST_P(RegistryStoreTest, ValuesKeepTypeBytesAndFirstNameCase) {
  ASSERT_TRUE(store_->CreateKey(kHkcu, "K").ok());
  const std::vector<std::byte> data = Bytes(std::string_view("a\0\xff", 3));
  ASSERT_TRUE(store_->SetValue(kHkcu, "K", "Name", kRegBinary, data).ok());
  auto value = store_->QueryValue(kHkcu, "k", "NAME");
  ASSERT_TRUE(value.ok());
  EXPECT_EQ(value->type, kRegBinary);
  EXPECT_EQ(value->data, data);
  ASSERT_TRUE(store_->SetValue(kHkcu, "K", "NAME", kRegSz, Bytes("x")).ok());
  EXPECT_EQ(*store_->ValueNames(kHkcu, "K"), std::vector<std::string>{"Name"});
  EXPECT_EQ(store_->QueryValue(kHkcu, "K", "name")->type, kRegSz);
  // Empty data and the default value (empty name).
  ASSERT_TRUE(store_->SetValue(kHkcu, "K", "", kRegSz, {}).ok());
  EXPECT_TRUE(store_->QueryValue(kHkcu, "K", "")->data.empty());
}

TEST_P(RegistryStoreTest, MissingThingsAreNotFound) {
  ASSERT_TRUE(store_->CreateKey(kHkcu, "K").ok());
  const Status results[] = {
      store_->QueryValue(kHkcu, "K", "v").status(),
      store_->QueryValue(kHkcu, "Nope", "v").status(),
      store_->SetValue(kHkcu, "Nope", "v", kRegSz, Bytes("x")),
      store_->SubKeyNames(kHkcu, "Nope").status(),
      store_->ValueNames(kHkcu, "Nope").status(),
      store_->DeleteKey(kHkcu, "Nope"),
      store_->DeleteValue(kHkcu, "Nope", "v"),
  };
  for (const Status& result : results)
    EXPECT_EQ(result.number(), kRegErrorFileNotFound) << result.description();
}

TEST_P(RegistryStoreTest, DeletesOnlyKeysWithoutSubkeysAndTheirValuesGoToo) {
  ASSERT_TRUE(store_->CreateKey(kHkcu, "P\\C").ok());
  ASSERT_TRUE(store_->SetValue(kHkcu, "P\\C", "v", kRegSz, Bytes("x")).ok());
  EXPECT_EQ(store_->DeleteKey(kHkcu, "P").number(), kRegErrorAccessDenied);
  EXPECT_EQ(store_->DeleteKey(kHkcu, "").number(), kRegErrorAccessDenied);
  ASSERT_TRUE(store_->DeleteKey(kHkcu, "p\\c").ok());
  ASSERT_TRUE(store_->CreateKey(kHkcu, "P\\C").ok());
  EXPECT_TRUE(store_->ValueNames(kHkcu, "P\\C")->empty());
  EXPECT_TRUE(store_->DeleteKey(kHkcu, "P\\C").ok());
  EXPECT_TRUE(store_->DeleteKey(kHkcu, "P").ok());
  EXPECT_TRUE(store_->SubKeyNames(kHkcu, "")->empty());
}

TEST_P(RegistryStoreTest, RefusesMalformedNamesWithoutWriting) {
  const std::string nul("a\0b", 3);
  for (const std::string& key :
       {std::string("a\\\\b"), std::string("\\a"), nul, std::string(256, 'x')}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(store_->CreateKey(kHkcu, key).number(), kRegErrorInvalidParameter);
    EXPECT_EQ(store_->OpenKey(kHkcu, key).number(), kRegErrorInvalidParameter);
  }
  ASSERT_TRUE(store_->CreateKey(kHkcu, "K").ok());
  EXPECT_EQ(store_->SetValue(kHkcu, "K", nul, kRegSz, Bytes("x")).number(),
            kRegErrorInvalidParameter);
  EXPECT_EQ(store_->SetValue(kHkcu, "K", std::string(16384, 'v'), kRegSz, Bytes("x")).number(),
            kRegErrorInvalidParameter);
  EXPECT_TRUE(store_->SetValue(kHkcu, "K", std::string(16383, 'v'), kRegSz, Bytes("x")).ok());
  EXPECT_EQ(store_->CreateKey(0x12345678, "K").number(), kRegErrorInvalidHandle);
  EXPECT_EQ(store_->OpenKey(0x12345678, "").number(), kRegErrorInvalidHandle);
  EXPECT_EQ(store_->QueryValue(0x12345678, "K", "v").error().number, kRegErrorInvalidHandle);
  EXPECT_EQ(*store_->SubKeyNames(kHkcu, ""), std::vector<std::string>{"K"});
}

INSTANTIATE_TEST_SUITE_P(All, RegistryStoreTest, ::testing::Values("Fake", "Sqlite"),
                         [](const auto& info) { return info.param; });

TEST(RegistryNamesTest, FoldsCaseOfLettersOnly) {
  EXPECT_EQ(FoldRegistryName("ABC xyz ÀÉÎ × ĀŁŸ ΣΑ ЖЁ"), "abc xyz àéî × āłÿ σα жё");
  EXPECT_EQ(FoldRegistryName("\xff\xc3"), "\xff\xc3");  // not UTF-8: unchanged
}

class SqliteRegistryStoreTest : public ::testing::Test {
 protected:
  fs::path db_path() const { return dir_ / "config" / "corvina" / "registry.db"; }
  std::unique_ptr<SqliteRegistryStore> Store(int busy_timeout_ms = 3000) {
    return std::make_unique<SqliteRegistryStore>(
        SqliteRegistryStoreOptions{.path = db_path(), .busy_timeout_ms = busy_timeout_ms});
  }
  void Fill(int values) {
    auto store = Store();
    ASSERT_TRUE(store->CreateKey(kHkcu, "Software\\Corvina").ok());
    for (int i = 0; i < values; ++i) {
      ASSERT_TRUE(store
                      ->SetValue(kHkcu, "Software\\Corvina", "V" + std::to_string(i), kRegSz,
                                 Bytes(std::string(100, 'p')))
                      .ok());
    }
  }

  testing::TempDir dir_;
};

TEST_F(SqliteRegistryStoreTest, DamagedFilesFailClearlyAndStayAsTheyAre) {
  Fill(2000);
  const std::string good = ReadFileBytes(db_path());
  ASSERT_GT(good.size(), 100000u);
  std::string overwritten = good;
  std::fill_n(overwritten.begin() + good.size() / 2, 8192, '\x5a');
  std::string header = good;
  header.replace(16, 2, "\x03\x00", 2);  // an impossible page size
  std::vector<std::pair<std::string, std::string>> cases = {
      {"text", std::string(5000, 'x')},
      {"truncated header", good.substr(0, 60)},
      {"truncated to half", good.substr(0, good.size() / 2)},
      {"overwritten pages", overwritten},
      {"bad header", header},
  };
  for (const char* damage :
       {"DROP TABLE vals", "DROP TABLE keys", "ALTER TABLE vals RENAME COLUMN data TO other"}) {
    fs::remove_all(db_path().parent_path());
    Fill(3);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(db_path().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, damage, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    cases.emplace_back(damage, ReadFileBytes(db_path()));
  }
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    testing::WriteFileBytes(db_path(), bytes);
    auto store = Store();
    // Every call fails, those on keys too when only the values' table is damaged: none may
    // write into the file.
    const std::vector<Status> results = {
        store->QueryValue(kHkcu, "Software\\Corvina", "V1").status(),
        store->SetValue(kHkcu, "Software\\Corvina", "V1", kRegSz, Bytes("new")),
        store->OpenKey(kHkcu, "Software"),
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
    EXPECT_TRUE(ReadFileBytes(db_path()) == bytes) << "the damaged file was changed";
  }
}

TEST_F(SqliteRegistryStoreTest, AReadOnlyFileIsReadWithoutSideFilesAndWritableAgainLater) {
  Fill(3);
  const auto original = fs::status(db_path()).permissions();
  fs::permissions(db_path(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = ReadFileBytes(db_path());
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
  EXPECT_TRUE(ReadFileBytes(db_path()) == before);

  // Side files an earlier run left read-only get the file's mode back with it.
  testing::WriteFileBytes(db_path().string() + "-shm", "");
  fs::permissions(db_path().string() + "-shm", fs::perms::owner_read);
  fs::permissions(db_path(), original);
  auto store = Store();
  EXPECT_TRUE(store->SetValue(kHkcu, "Software\\Corvina", "V1", kRegSz, Bytes("new")).ok());
  EXPECT_EQ(fs::status(db_path().string() + "-shm").permissions(), original);
  EXPECT_EQ(store->QueryValue(kHkcu, "Software\\Corvina", "V1")->data, Bytes("new"));
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
  const std::string payloads[] = {std::string(3000, 'a'), std::string(3000, 'b')};
  auto key = [](int i) { return "Shared\\Key" + std::to_string(i % 7); };
  auto name = [](int c, int i) { return "C" + std::to_string(c) + "-" + std::to_string(i); };
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] != 0) continue;
    int failures = 0;
    {
      SqliteRegistryStore store({.path = db_path(), .busy_timeout_ms = 60000});
      for (int i = 0; i < kWrites; ++i) {
        failures += !store.CreateKey(kHkcu, key(i)).ok();
        failures +=
            !store.SetValue(kHkcu, key(i), name(c, i), kRegSz, Bytes(std::to_string(i))).ok();
        failures += !store.SetValue(kHkcu, "Shared", "Both", kRegBinary, Bytes(payloads[c])).ok();
      }
    }
    ::_exit(failures == 0 ? 0 : 1);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto store = Store();
  EXPECT_EQ(store->SubKeyNames(kHkcu, "Shared")->size(), 7u);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kWrites; ++i) {
      auto value = store->QueryValue(kHkcu, key(i), name(c, i));
      ASSERT_TRUE(value.ok());
      EXPECT_EQ(value->data, Bytes(std::to_string(i)));
    }
  }
  auto both = store->QueryValue(kHkcu, "Shared", "Both");
  ASSERT_TRUE(both.ok());
  EXPECT_TRUE(both->data == Bytes(payloads[0]) || both->data == Bytes(payloads[1]));
}

}  // namespace
}  // namespace corvina
