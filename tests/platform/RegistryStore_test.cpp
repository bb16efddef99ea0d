#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/IRegistryStore.h"
#include "platform/RegistryNames.h"
#include "platform/SqliteRegistryStore.h"
#include "tests/fakes/FakeRegistryStore.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* data = reinterpret_cast<const std::byte*>(text.data());
  return std::vector<std::byte>(data, data + text.size());
}

// Makes a fresh, empty registry store of one implementation, kept in the given folder.
struct RegistryStoreFactory {
  std::string name;
  std::function<std::unique_ptr<IRegistryStore>(const std::filesystem::path&)> make;
};

std::vector<RegistryStoreFactory> RegistryStoreFactories() {
  return {
      {"Fake",
       [](const std::filesystem::path&) -> std::unique_ptr<IRegistryStore> {
         return std::make_unique<FakeRegistryStore>();
       }},
      {"Sqlite",
       [](const std::filesystem::path& dir) -> std::unique_ptr<IRegistryStore> {
         return std::make_unique<SqliteRegistryStore>(
             SqliteRegistryStoreOptions{.path = dir / "config" / "corvina" / "registry.db"});
       }},
  };
}

// The promises of IRegistryStore, kept by every implementation.
class RegistryStoreTest : public ::testing::TestWithParam<RegistryStoreFactory> {
 protected:
  void SetUp() override { store_ = GetParam().make(dir_.path()); }

  testing::TempDir dir_;
  std::unique_ptr<IRegistryStore> store_;
};

constexpr uint32_t kHkcu = kHkeyCurrentUser;

TEST_P(RegistryStoreTest, CreatesKeysAlongThePathAndFindsThemInAnyCase) {
  EXPECT_EQ(store_->OpenKey(kHkcu, "Software\\Corvina").number(), kRegErrorFileNotFound);
  ASSERT_TRUE(store_->CreateKey(kHkcu, "Software\\Corvina\\Sites").ok());
  ASSERT_TRUE(store_->CreateKey(kHkcu, "SOFTWARE\\corvina\\sites").ok());  // exists: success
  EXPECT_TRUE(store_->OpenKey(kHkcu, "software").ok());
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
  EXPECT_EQ(store_->QueryValue(kHkcu, "K", "v").error().number, kRegErrorFileNotFound);
  EXPECT_EQ(store_->QueryValue(kHkcu, "Nope", "v").error().number, kRegErrorFileNotFound);
  EXPECT_EQ(store_->SetValue(kHkcu, "Nope", "v", kRegSz, Bytes("x")).number(),
            kRegErrorFileNotFound);
  EXPECT_EQ(store_->SubKeyNames(kHkcu, "Nope").error().number, kRegErrorFileNotFound);
  EXPECT_EQ(store_->ValueNames(kHkcu, "Nope").error().number, kRegErrorFileNotFound);
  EXPECT_EQ(store_->DeleteKey(kHkcu, "Nope").number(), kRegErrorFileNotFound);
  EXPECT_EQ(store_->DeleteValue(kHkcu, "Nope", "v").number(), kRegErrorFileNotFound);
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
  const std::string long_key(256, 'x');
  for (const std::string& key : {std::string("a\\\\b"), std::string("\\a"), nul, long_key}) {
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

INSTANTIATE_TEST_SUITE_P(All, RegistryStoreTest, ::testing::ValuesIn(RegistryStoreFactories()),
                         [](const auto& info) { return info.param.name; });

TEST(RegistryNamesTest, FoldsCaseOfLettersOnly) {
  EXPECT_EQ(FoldRegistryName("ABC xyz ÀÉÎ × ĀŁŸ ΣΑ ЖЁ"), "abc xyz àéî × āłÿ σα жё");
  EXPECT_EQ(FoldRegistryName("\xff\xc3"), "\xff\xc3");  // not UTF-8: unchanged
}

}  // namespace
}  // namespace corvina
