#pragma once

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "workshop/common/HhcProject.h"

namespace corvina::workshop {

// Turns chmcmd's output, line by line, into what hhc prints: one progress line per file it
// processes, its warnings and errors as numbered messages, nothing for its other notes. Its
// silent failures ("Error:" lines with exit 0, "Can't find project file", unhandled
// exceptions) count as failures.
class ChmcmdOutputFilter {
 public:
  // `folder` is the project's folder, where linked files are looked for.
  ChmcmdOutputFilter(bool show_progress, std::filesystem::path folder)
      : show_progress_(show_progress), folder_(std::move(folder)) {}
  // The line to print for one line of output, if any.
  std::optional<std::string> Line(std::string_view line);
  // What remains to print once the output has ended.
  std::optional<std::string> Finish();
  bool failed() const { return failed_; }
  int warnings() const { return warnings_; }

 private:
  std::string Message(HhcCode code, std::string_view text);
  bool LinkedFileExists(std::string_view text) const;

  bool show_progress_;
  std::filesystem::path folder_;
  bool failed_ = false;
  int warnings_ = 0;
  bool awaiting_exception_ = false;
};

struct ChmcmdRun {
  std::filesystem::path chmcmd;                      // the program
  std::filesystem::path project_copy;                // a .hhp in the project folder
  const volatile std::sig_atomic_t* stop = nullptr;  // set by a signal handler: end the run
  bool scan_html = true;  // false: chmcmd adds no file that pages link to (--no-html-scan)
};

struct ChmcmdResult {
  bool started = false;
  bool interrupted = false;
  int exit_code = -1;
};

// Runs chmcmd on a pseudo-terminal, so that its output arrives line by line as it is written,
// and hands each line (without its line end) to `on_line`.
ChmcmdResult RunChmcmd(const ChmcmdRun& run, const std::function<void(std::string_view)>& on_line);

}  // namespace corvina::workshop
