#include "platform/WriteAll.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/UniqueFd.h"

namespace corvina {
namespace {

// More than a pipe holds at once, so that the writes come back short and go on.
TEST(WriteAllTest, WritesEveryByteThroughShortWrites) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  UniqueFd read_end(fds[0]);
  UniqueFd write_end(fds[1]);
  std::string bytes(1 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7);
  std::string got;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = ::read(read_end.get(), buffer, sizeof buffer)) > 0;)
      got.append(buffer, static_cast<size_t>(n));
  });
  EXPECT_TRUE(WriteAll(write_end.get(), bytes, "pipe").ok());
  write_end.reset();
  reader.join();
  EXPECT_EQ(got, bytes);
}

TEST(WriteAllTest, AFailedWriteNamesTheFile) {
  UniqueFd read_only(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const Status status = WriteAll(read_only.get(), std::string_view("x"), "/some/file");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.description(), "write /some/file: Bad file descriptor");
  EXPECT_TRUE(WriteAll(read_only.get(), std::string_view(), "/some/file").ok());
}

}  // namespace
}  // namespace corvina
