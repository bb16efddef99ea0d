#include "platform/RegistrySettingsStore.h"

#include <gtest/gtest.h>

#include "testing/FakeRegistryStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

constexpr std::string_view kApp = "Corvina";

class RegistrySettingsStoreTest : public ::testing::Test {
 protected:
  FakeRegistryStore registry_;
  RegistrySettingsStore settings_{registry_};
};

TEST_F(RegistrySettingsStoreTest, KeepsTextsUnderTheProgramSettingsKey) {
  ASSERT_TRUE(settings_.SaveSetting(kApp, "Decompile", "FILE", "/home/a/x.chm").ok());
  auto raw = registry_.QueryValue(
      kHkeyCurrentUser, "Software\\VB and VBA Program Settings\\Corvina\\^Decompile", "FILE");
  ASSERT_TRUE(raw.ok());
  EXPECT_EQ(raw->type, kRegSz);
  EXPECT_EQ(raw->data, testing::Bytes(std::string_view("/home/a/x.chm\0", 14)));
  EXPECT_EQ(*settings_.GetSetting(kApp, "Decompile", "FILE", "d"), "/home/a/x.chm");
  EXPECT_EQ(*settings_.GetSetting(kApp, "Decompile", "file", "d"), "/home/a/x.chm");
}

TEST_F(RegistrySettingsStoreTest, MissingSectionKeyOrWrongTypeGivesTheDefault) {
  EXPECT_EQ(*settings_.GetSetting(kApp, "Nowhere", "LEFT", "1200"), "1200");
  ASSERT_TRUE(settings_.SaveSetting(kApp, "S", "TITLE", "").ok());
  EXPECT_EQ(*settings_.GetSetting(kApp, "S", "TITLE", "d"), "");  // empty text is a value
  EXPECT_EQ(*settings_.GetSetting(kApp, "S", "OUTPUT", "d"), "d");
  const std::string key = RegistrySettingsStore::SectionKey(kApp, "S");
  const std::byte dword[4] = {};
  ASSERT_TRUE(registry_.SetValue(kHkeyCurrentUser, key, "LEFT", kRegDword, dword).ok());
  EXPECT_EQ(*settings_.GetSetting(kApp, "S", "LEFT", "15"), "15");
  ASSERT_TRUE(settings_.SaveSetting(kApp, "S", "LEFT", "30").ok());
  EXPECT_EQ(*settings_.GetSetting(kApp, "S", "LEFT", "15"), "30");
}

TEST_F(RegistrySettingsStoreTest, EverySectionNameIsOneSeparateSection) {
  const std::string sections[] = {
      "file:///home/a/My Site",
      "file:///home/a/my site",
      "file:///home/a/MY SITE",
      "C:\\Sites\\One",
      "C:%5CSites%5COne",
      "C:^5CSites^5COne",
      "100% ^ Ünï",
      "100% ^ ünï",
      "100\xC0\xA5 ^ ünï",  // an overlong "%" is not UTF-8: its bytes are kept, not escaped
      "a\\\\b\\",
  };
  for (size_t i = 0; i < std::size(sections); ++i)
    ASSERT_TRUE(settings_.SaveSetting(kApp, sections[i], "TITLE", std::to_string(i)).ok());
  for (size_t i = 0; i < std::size(sections); ++i) {
    SCOPED_TRACE(sections[i]);
    EXPECT_EQ(*settings_.GetSetting(kApp, sections[i], "TITLE", ""), std::to_string(i));
  }
  std::vector<std::string> keys =
      *registry_.SubKeyNames(kHkeyCurrentUser, "Software\\VB and VBA Program Settings\\Corvina");
  EXPECT_EQ(keys.size(), std::size(sections));
  EXPECT_TRUE(registry_
                  .OpenKey(kHkeyCurrentUser,
                           "Software\\VB and VBA Program Settings\\Corvina\\"
                           "file:///home/a/^My ^Site")
                  .ok());
}

TEST_F(RegistrySettingsStoreTest, StoreFaultsAreErrorsNotDefaults) {
  ASSERT_TRUE(settings_.SaveSetting(kApp, "S", "LEFT", "1").ok());
  const Error fault{kRegErrorBadDb, "registry database /x/registry.db is damaged"};
  registry_.fail_with = fault;
  for (const Status& status :
       {settings_.GetSetting(kApp, "S", "LEFT", "0").status(),
        settings_.SaveSetting(kApp, "S", "LEFT", "2"), settings_.DeleteSection(kApp, "S")})
    EXPECT_EQ(status.description(), fault.description);
  registry_.fail_with.reset();
  EXPECT_EQ(*settings_.GetSetting(kApp, "S", "LEFT", "0"), "1");
}

}  // namespace
}  // namespace corvina
