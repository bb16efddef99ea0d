#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"

extern char** environ;

// Running the built hh and chmcmd from the workshop tests.
namespace corvina::hh_testing {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

inline const std::filesystem::path kHh = std::filesystem::path(CORVINA_BIN_DIR) / "hh";

struct ChildOptions {
  std::filesystem::path cwd;
  std::map<std::string, std::string> env;  // added to, or replacing, the test's environment
  std::filesystem::path out;               // where stdout and stderr go
  std::filesystem::path err;
};

inline pid_t Spawn(const std::vector<std::string>& command, const ChildOptions& options) {
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (!options.env.contains(entry.substr(0, entry.find('=')))) env_strings.push_back(entry);
  }
  for (const auto& [key, value] : options.env)
    env_strings.push_back(key + "=" + value);
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (const auto& arg : command)
    argv.push_back(const_cast<char*>(arg.c_str()));
  for (const auto& entry : env_strings)
    envp.push_back(const_cast<char*>(entry.c_str()));
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, options.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, options.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(rc, 0) << "cannot start " << command[0];
  return rc == 0 ? pid : -1;
}

inline int Wait(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct ChildResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline ChildResult RunChild(const TempDir& temp, const std::vector<std::string>& command,
                            ChildOptions options = {}) {
  options.out = temp / "child.out";
  options.err = temp / "child.err";
  ChildResult result;
  result.exit_code = Wait(Spawn(command, options));
  result.out = ReadFileBytes(options.out);
  result.err = ReadFileBytes(options.err);
  return result;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// A site of pages compiled by chmcmd into <folder>/out.chm.
inline std::filesystem::path CompileSite(const TempDir& temp, const std::filesystem::path& folder,
                                         const std::map<std::string, std::string>& files) {
  std::string project =
      "[OPTIONS]\nCompiled file=out.chm\nDefault topic=index.htm\nTitle=Test Help\n"
      "Full-text search=No\n\n[FILES]\n";
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(folder / name, bytes);
    project += name + "\n";
  }
  WriteFileBytes(folder / "project.hhp", project);
  ChildResult compiled =
      RunChild(temp, {"chmcmd", "project.hhp"}, {.cwd = folder, .env = {}, .out = {}, .err = {}});
  EXPECT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
  EXPECT_TRUE(std::filesystem::exists(folder / "out.chm")) << compiled.out << compiled.err;
  return folder / "out.chm";
}

}  // namespace corvina::hh_testing
