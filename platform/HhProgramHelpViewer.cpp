#include "platform/HhProgramHelpViewer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/OwnExecutable.h"
#include "platform/PathConventions.h"

extern char** environ;

namespace corvina {

HhProgramHelpViewer::HhProgramHelpViewer(std::filesystem::path hh_program)
    : program_(std::move(hh_program)) {}

std::filesystem::path HhProgramHelpViewer::DefaultProgram() {
  return OwnExecutableFolder() / ("hh" + std::string(kExecutableSuffix));
}

Result<std::vector<std::string>> HhProgramHelpViewer::CommandLine(std::string_view file,
                                                                  uint32_t command,
                                                                  std::string_view topic) const {
  while (topic.starts_with('/'))
    topic.remove_prefix(1);
  std::vector<std::string> line{program_.string(), std::string(file)};
  if (command == kHhDisplayTopic) {
    if (!topic.empty()) line[1] += "::/" + std::string(topic);
  } else if (command == kHhDisplayToc) {
    if (!topic.empty()) line.emplace_back(topic);
  } else {
    return Error{kErrInvalidArgument,
                 "help command " + std::to_string(command) + " is not supported"};
  }
  return line;
}

Status HhProgramHelpViewer::HtmlHelp(intptr_t, std::string_view file, uint32_t command,
                                     std::string_view topic) {
  Result<std::vector<std::string>> line = CommandLine(file, command, topic);
  if (!line.ok()) return line.status();
  if (::access(program_.c_str(), X_OK) != 0) return ErrnoError("start", errno, program_.string());

  // Everything the children use is made before fork: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  for (const std::string& arg : *line)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const char* program = program_.c_str();

  pid_t middle = ::fork();
  if (middle < 0) return ErrnoError("fork", errno);
  if (middle == 0) {
    // The middle child leaves at once, so the viewer's process is adopted and reaped by init.
    ::setsid();
    pid_t viewer = ::fork();
    if (viewer == 0) {
      int null = ::open("/dev/null", O_RDONLY);
      if (null >= 0) ::dup2(null, STDIN_FILENO);
      ::execve(program, argv.data(), environ);
      ::_exit(127);
    }
    ::_exit(viewer < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return Error{kErrDeviceIO, "the help viewer could not be started"};
  }
  return Status::Ok();
}

}  // namespace corvina
