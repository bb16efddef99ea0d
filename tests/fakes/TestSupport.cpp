#include "tests/fakes/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

namespace corvina::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "corvina-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
  if (const char* old = ::getenv("XDG_CONFIG_HOME")) {
    had_config_ = true;
    old_config_ = old;
  }
  ::setenv("XDG_CONFIG_HOME", (path_ / "config").c_str(), 1);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only files and folders behind; make them removable first.
  for (auto it = fs::recursive_directory_iterator(
           path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
  if (had_config_) {
    ::setenv("XDG_CONFIG_HOME", old_config_.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void PatchFileBytes(const fs::path& path, std::string_view from, std::string_view to) {
  ASSERT_EQ(from.size(), to.size());
  std::string bytes = ReadFileBytes(path);
  const size_t at = bytes.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  WriteFileBytes(path, bytes.replace(at, to.size(), to));
}

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* data = reinterpret_cast<const std::byte*>(text.data());
  return std::vector<std::byte>(data, data + text.size());
}

ProgramRun RunProgram(const std::vector<std::string>& argv, const fs::path& folder) {
  ProgramRun run;
  char out_name[] = "/tmp/corvina-run-out-XXXXXX";
  char err_name[] = "/tmp/corvina-run-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name);
  const int err_fd = ::mkstemp(err_name);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  ::posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  if (!folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  }
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out_fd);
  ::close(err_fd);
  run.out = ReadFileBytes(out_name);
  run.err = ReadFileBytes(err_name);
  ::unlink(out_name);
  ::unlink(err_name);
  return run;
}

std::string BuiltProgram(std::string_view name) {
  return std::string(CORVINA_BIN_DIR) + "/" + std::string(name);
}

fs::path TestDataPath(std::string_view relative) {
  return fs::path(CORVINA_TEST_DATA) / relative;
}

bool HaveFpUtils() {
  return ::access("/usr/bin/chmcmd", X_OK) == 0 && ::access("/usr/bin/chmls", X_OK) == 0;
}

::testing::AssertionResult MatchesGolden(std::string_view actual,
                                         std::string_view golden_relative) {
  const fs::path golden = TestDataPath(golden_relative);
  if (const char* update = ::getenv("CORVINA_UPDATE_GOLDEN");
      update && update == std::string("1")) {
    WriteFileBytes(golden, actual);
    return ::testing::AssertionSuccess();
  }
  if (!fs::exists(golden))
    return ::testing::AssertionFailure() << "golden file missing: " << golden;
  const std::string expected = ReadFileBytes(golden);
  const auto [at, ignored] =
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const size_t i = static_cast<size_t>(at - expected.begin());
  if (i < std::min(expected.size(), actual.size())) {
    const size_t from = i < 20 ? 0 : i - 20;
    return ::testing::AssertionFailure()
           << golden_relative << " differs at offset " << i << "\n expected: ..."
           << ::testing::PrintToString(expected.substr(from, 60)) << "\n actual:   ..."
           << ::testing::PrintToString(std::string(actual.substr(from, 60)));
  }
  if (expected.size() != actual.size()) {
    return ::testing::AssertionFailure() << golden_relative << ": sizes differ, expected "
                                         << expected.size() << ", actual " << actual.size();
  }
  return ::testing::AssertionSuccess();
}

std::string StreamContents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;)
    text += static_cast<char>(c);
  return text;
}

}  // namespace corvina::testing
