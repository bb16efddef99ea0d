#include "platform/HhProgramHelpViewer.h"

#include <unistd.h>

#include <cerrno>

#include "platform/OwnExecutable.h"
#include "platform/PathConventions.h"

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
  ProcessStart start = runner_.Start({.arguments = std::move(*line), .detached = true});
  if (!start.child) return Error{kErrDeviceIO, "the help viewer could not be started"};
  return Status::Ok();
}

}  // namespace corvina
