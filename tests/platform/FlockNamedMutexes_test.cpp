#include "platform/FlockNamedMutexes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

TEST(FlockNamedMutexesTest, HoldsAreSeenUntilTheLastOneEnds) {
  testing::TempDir dir;
  FlockNamedMutexes mutexes(dir / "run" / "mutexes");
  EXPECT_FALSE(*mutexes.Exists("Corvina"));
  Result<std::unique_ptr<INamedMutex>> first = mutexes.CreateMutex("Corvina");
  ASSERT_TRUE(first.ok()) << first.error().description;
  EXPECT_FALSE((*first)->AlreadyExisted());
  EXPECT_TRUE(*mutexes.Exists("Corvina"));
  // Another instance (a separate service object, as in another process) sees the first.
  FlockNamedMutexes other(dir / "run" / "mutexes");
  Result<std::unique_ptr<INamedMutex>> second = other.CreateMutex("Corvina");
  ASSERT_TRUE(second.ok());
  EXPECT_TRUE((*second)->AlreadyExisted());
  EXPECT_FALSE(*mutexes.Exists("Other"));
  first = Error{};
  EXPECT_TRUE(*other.Exists("Corvina"));
  second = Error{};
  EXPECT_FALSE(*mutexes.Exists("Corvina"));
}

TEST(FlockNamedMutexesTest, AHoldEndsWithItsProcess) {
  testing::TempDir dir;
  FlockNamedMutexes mutexes(dir / "mutexes");
  int held[2];
  ASSERT_EQ(::pipe(held), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Takes the mutex, says so, and waits to be killed without releasing it.
    Result<std::unique_ptr<INamedMutex>> hold = mutexes.CreateMutex("Corvina");
    const char byte = hold.ok() ? '1' : '0';
    if (::write(held[1], &byte, 1) == 1) ::pause();
    ::_exit(2);
  }
  char byte = 0;
  ASSERT_EQ(::read(held[0], &byte, 1), 1);
  EXPECT_EQ(byte, '1');
  EXPECT_TRUE(*mutexes.Exists("Corvina"));
  ::kill(child, SIGKILL);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  ::close(held[0]);
  ::close(held[1]);
  EXPECT_FALSE(*mutexes.Exists("Corvina"));
}

TEST(FlockNamedMutexesTest, NamesThatAreNoFileNamesAreRefused) {
  testing::TempDir dir;
  FlockNamedMutexes mutexes(dir.path());
  for (std::string_view name : {"", "..", "a/b"}) {
    SCOPED_TRACE(name);
    Result<std::unique_ptr<INamedMutex>> created = mutexes.CreateMutex(name);
    ASSERT_FALSE(created.ok());
    EXPECT_EQ(created.error().number, kErrInvalidArgument);
  }
}

}  // namespace
}  // namespace corvina
