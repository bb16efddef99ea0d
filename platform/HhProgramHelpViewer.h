#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/IHelpViewer.h"
#include "platform/PosixProcessRunner.h"

namespace corvina {

// Opens help files with our hh program ("hh FILE::/topic" or "hh FILE topic"), started
// detached in a session of its own, so that the viewer outlives this process and leaves no
// child behind.
class HhProgramHelpViewer : public IHelpViewer {
 public:
  explicit HhProgramHelpViewer(std::filesystem::path hh_program = DefaultProgram());

  // hh beside this process's own executable.
  static std::filesystem::path DefaultProgram();
  // The command line for the request, the program first.
  Result<std::vector<std::string>> CommandLine(std::string_view file, uint32_t command,
                                               std::string_view topic) const;

  Status HtmlHelp(intptr_t owner, std::string_view file, uint32_t command,
                  std::string_view topic) override;

 private:
  std::filesystem::path program_;
  PosixProcessRunner runner_;
};

}  // namespace corvina
