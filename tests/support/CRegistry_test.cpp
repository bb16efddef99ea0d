#include "support/CRegistry.h"

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "platform/SqliteRegistryStore.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/FakeEnvironment.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using namespace std::string_literals;
using testing::Bytes;

constexpr std::string_view kWorkshopKey = "Software\\Microsoft\\HTML Help Workshop";

class CRegistryTest : public ::testing::Test {
 protected:
  CRegistryTest() { reg_.Init(kHkeyCurrentUser); }

  RegistryValue Raw(std::string_view key, std::string_view name) {
    auto value = store_.QueryValue(kHkeyCurrentUser, key, name);
    EXPECT_TRUE(value.ok()) << value.error().description;
    return value.ok() ? *value : RegistryValue{};
  }
  void PutRaw(std::string_view key, std::string_view name, uint32_t type,
              std::vector<std::byte> data) {
    ASSERT_TRUE(store_.CreateKey(kHkeyCurrentUser, key).ok());
    ASSERT_TRUE(store_.SetValue(kHkeyCurrentUser, key, name, type, data).ok());
  }

  FakeRegistryStore store_;
  FakeEnvironment environment_;
  ScopedPlatform platform_{Platform{.registry = &store_, .environment = &environment_}};
  CRegistry reg_;
};

TEST_F(CRegistryTest, GetValueOfMissingKeyOrValueGivesTheDefaultUnchanged) {
  const RegValue defaults[] = {RegValue(), RegValue(""), RegValue("fallback"), RegValue(42),
                               RegValue(Bytes("\x01\x02"))};
  ASSERT_TRUE(*reg_.CreateKey("Present"));
  for (const RegValue& fallback : defaults) {
    SCOPED_TRACE(fallback.AsText());
    EXPECT_EQ(*reg_.GetValue("Missing\\Key", "InstallDir", fallback), fallback);
    EXPECT_EQ(*reg_.GetValue("Present", "InstallDir", fallback), fallback);
  }
}

TEST_F(CRegistryTest, TextRoundTripsWithoutItsTerminator) {
  ASSERT_TRUE(*reg_.SetValue(kWorkshopKey, "InstallDir", RegValue("abc"), 1));
  const RegistryValue raw = Raw(kWorkshopKey, "InstallDir");
  EXPECT_EQ(raw.type, kRegSz);
  EXPECT_EQ(raw.data, Bytes(std::string_view("abc\0", 4)));
  const RegValue read = *reg_.GetValue(kWorkshopKey, "InstallDir", RegValue(""));
  ASSERT_TRUE(read.IsText());
  EXPECT_EQ(read.Text(), "abc");
  EXPECT_EQ(*reg_.ValueType(kWorkshopKey, "InstallDir"), 1);
}

TEST_F(CRegistryTest, TextWithAReferenceIsStoredAsExpandString) {
  const struct {
    std::string_view text;
    int32_t asked;
    uint32_t stored;
  } cases[] = {
      {"%windir%\\x", 1, kRegExpandSz},
      {"50% off", 1, kRegSz},
      {"%%", 1, kRegSz},
      {"%X%", 1, kRegExpandSz},
      {"a%b", 2, kRegSz},
      {"100%% sure%", 1, kRegExpandSz},
      {"plain", 2, kRegSz},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(*reg_.SetValue("K", "v", RegValue(c.text), c.asked));
    EXPECT_EQ(Raw("K", "v").type, c.stored);
    EXPECT_EQ(*reg_.ValueType("K", "v"), static_cast<int32_t>(c.stored));
  }
}

TEST_F(CRegistryTest, ExpandStringReadsWithEnvironmentReferencesExpanded) {
  environment_.variables = {{"CORVINA_TEST_DIR", "/opt/hhw"}};
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"%CORVINA_TEST_DIR%/hhc", "/opt/hhw/hhc"},
      {"a%CORVINA_TEST_UNSET%b", "a%CORVINA_TEST_UNSET%b"},
      {"%CORVINA_TEST_UNSET%CORVINA_TEST_DIR%", "%CORVINA_TEST_UNSET/opt/hhw"},
      {"x%%CORVINA_TEST_DIR%", "x%/opt/hhw"},
      {"%CORVINA_TEST_DIR%%CORVINA_TEST_DIR%", "/opt/hhw/opt/hhw"},
      {"50% of %CORVINA_TEST_DIR", "50% of %CORVINA_TEST_DIR"},
  };
  for (const auto& [stored, expanded] : cases) {
    SCOPED_TRACE(stored);
    std::string data(stored);
    data += '\0';
    PutRaw("K", "v", kRegExpandSz, Bytes(data));
    EXPECT_EQ(*reg_.GetValue("K", "v"), RegValue(expanded));
  }
}

TEST_F(CRegistryTest, NumbersAndBytesKeepTheirKinds) {
  ASSERT_TRUE(*reg_.SetValue("K", "dword", RegValue(-2), 4));
  ASSERT_TRUE(*reg_.SetValue("K", "five", RegValue(0x01020304), 5));
  const std::vector<std::byte> blob = Bytes(std::string_view("\x00\xff\x10", 3));
  ASSERT_TRUE(*reg_.SetValue("K", "blob", RegValue(blob), 3));

  EXPECT_EQ(Raw("K", "five").type, kRegDword);  // 5 stores the bytes as they are
  EXPECT_EQ(*reg_.GetValue("K", "dword"), RegValue(-2));
  EXPECT_EQ(*reg_.GetValue("K", "five"), RegValue(0x01020304));
  // Exactly the stored bytes: no trailing extra element.
  EXPECT_EQ(*reg_.GetValue("K", "blob"), RegValue(blob));
  EXPECT_EQ(*reg_.ValueType("K", "blob"), 3);

  PutRaw("K", "big", kRegDwordBigEndian, Bytes(std::string_view("\x01\x02\x03\x04", 4)));
  EXPECT_EQ(*reg_.GetValue("K", "big"), RegValue(0x01020304));
  PutRaw("K", "multi", kRegMultiSz, Bytes(std::string_view("a\0bc\0\0", 6)));
  EXPECT_EQ(*reg_.GetValue("K", "multi"), RegValue(std::string("a\0bc\0", 5)));
  PutRaw("K", "link", kRegLink, Bytes("xy"));
  EXPECT_EQ(*reg_.GetValue("K", "link"), RegValue(Bytes("xy")));
  // Zero-length text data reads as the empty text.
  PutRaw("K", "empty", kRegSz, {});
  EXPECT_EQ(*reg_.GetValue("K", "empty", RegValue("d")), RegValue(""));
}

TEST_F(CRegistryTest, EmptyKeyNameRaisesWhereTested) {
  const std::pair<const char*, Error> raised[] = {
      {"CreateKey", reg_.CreateKey("").error()},
      {"DeleteKey", reg_.DeleteKey("").error()},
      {"DeleteValue", reg_.DeleteValue("", "v").error()},
      {"KeyExists", reg_.KeyExists("").error()},
      {"SetValue", reg_.SetValue("", "v", RegValue("x"), 1).error()},
      {"ValueType", reg_.ValueType("", "v").error()},
  };
  for (const auto& [member, error] : raised) {
    SCOPED_TRACE(member);
    EXPECT_EQ(error.number, static_cast<int32_t>(0x80044651u));
    EXPECT_EQ(error.description, "Invalid KeyName value");
  }
  EXPECT_EQ(store_.writes, 0);
}

TEST_F(CRegistryTest, MalformedKeyNamesRaiseInEveryMember) {
  const std::string too_long(256, 'k');
  const std::string names[] = {"a\\\\b", "\\Software", std::string("a\0b", 3), too_long,
                               "ok\\" + too_long};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::vector<std::string> list{"stale"};
    EXPECT_EQ(reg_.CreateKey(name).error().number, kErrInvalidKeyName);
    EXPECT_EQ(reg_.SetValue(name, "v", RegValue("x"), 1).error().number, kErrInvalidKeyName);
    EXPECT_EQ(reg_.GetValue(name, "v").error().number, kErrInvalidKeyName);
    EXPECT_EQ(reg_.GetAllSubKeys(name, list).error().number, kErrInvalidKeyName);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(reg_.KeyExists(name).error().number, kErrInvalidKeyName);
  }
  EXPECT_EQ(store_.writes, 0);
  // A single trailing "\" is accepted, as the registry accepts it.
  EXPECT_TRUE(*reg_.CreateKey("Trailing\\"));
  EXPECT_TRUE(*reg_.KeyExists("Trailing"));
  EXPECT_TRUE(*reg_.CreateKey(std::string(255, 'k')));
}

TEST_F(CRegistryTest, StoreFaultsRaiseComponentFailureNamingTheCause) {
  ASSERT_TRUE(*reg_.SetValue(kWorkshopKey, "InstallDir", RegValue("/opt"), 1));
  store_.fail_with =
      Error{kRegErrorBadDb, "registry database /x/registry.db is damaged (file is not a database)"};
  std::vector<std::string> list;
  const Error errors[] = {
      reg_.KeyExists(kWorkshopKey).error(),
      reg_.GetValue(kWorkshopKey, "InstallDir", RegValue("")).error(),
      reg_.SetValue(kWorkshopKey, "InstallDir", RegValue("/new"), 1).error(),
      reg_.CreateKey("K").error(),
      reg_.DeleteKey("K").error(),
      reg_.DeleteValue("K", "v").error(),
      reg_.GetAllSubKeys("K", list).error(),
      reg_.GetAllValueNames("K", list).error(),
      reg_.ValueType("K", "v").error(),
  };
  for (const Error& error : errors) {
    EXPECT_EQ(error.number, static_cast<int32_t>(0x80044653u));
    EXPECT_EQ(error.description,
              "CRegistry component failure: registry database /x/registry.db is damaged (file "
              "is not a database)");
  }
  // A refused write of a value is a fault too, and the old value stays.
  store_.fail_with.reset();
  store_.fail_writes_with = Error{kRegErrorCantWrite, "registry database is read-only"};
  EXPECT_EQ(reg_.SetValue(kWorkshopKey, "InstallDir", RegValue("/new"), 1).error().number,
            kErrCRegistryFailure);
  EXPECT_EQ(*reg_.GetValue(kWorkshopKey, "InstallDir"), RegValue("/opt"));
}

// CRegistry over the real store, in the user's default place (TempDir points XDG_CONFIG_HOME
// into itself).
TEST(CRegistryOnSqliteTest, DamagedDatabaseIsRaisedWithItsNameAndKept) {
  testing::TempDir dir;
  const std::filesystem::path db = SqliteRegistryStore::DefaultPath();
  testing::WriteFileBytes(db, "SQLite format 3\0 but nothing else of a database"s);
  const std::string before = testing::ReadFileBytes(db);
  auto store = std::make_unique<SqliteRegistryStore>(SqliteRegistryStoreOptions{.path = db});
  ScopedPlatform platform(Platform{.registry = store.get()});
  CRegistry reg;
  reg.Init(kHkeyCurrentUser);
  for (const Error& error : {reg.KeyExists(kWorkshopKey).error(),
                             reg.SetValue(kWorkshopKey, "InstallDir", RegValue("/x"), 1).error()}) {
    EXPECT_EQ(error.number, kErrCRegistryFailure);
    EXPECT_EQ(error.description.find("CRegistry component failure: registry database " +
                                     db.string() + " is damaged"),
              0u)
        << error.description;
  }
  store.reset();
  EXPECT_TRUE(testing::ReadFileBytes(db) == before);
}

}  // namespace
}  // namespace corvina
