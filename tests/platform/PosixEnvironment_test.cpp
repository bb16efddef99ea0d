#include "platform/PosixEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/OwnExecutable.h"

namespace corvina {
namespace {

TEST(PosixEnvironmentTest, AnswersFromTheProcessItself) {
  PosixEnvironment environment;
  const char* path = std::getenv("PATH");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(environment.Variable("PATH"), std::string(path));
  EXPECT_EQ(environment.Variable("CORVINA_NO_SUCH_VARIABLE"), std::nullopt);
  EXPECT_EQ(environment.Variable(""), std::nullopt);
  EXPECT_EQ(environment.CurrentFolder(), std::filesystem::current_path().string());
  EXPECT_EQ(environment.OwnModuleFolder(), OwnModuleFolder().string());
  // Two environments draw from differently seeded sources.
  PosixEnvironment other;
  EXPECT_NE(environment.RandomNumber() ^ environment.RandomNumber(),
            other.RandomNumber() ^ other.RandomNumber());
}

}  // namespace
}  // namespace corvina
