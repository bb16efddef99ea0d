#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvina {

// The user's console as one run of the command line shares it. The tool's log goes to one
// stream in whole lines only (a line is held until its line end arrives; CRLF becomes LF). The
// progress figure goes to the other stream, on a line of its own below the log, redrawn in
// place; it is cleared before any log line or message is written, so it never overwrites
// either. Off a terminal there is no progress figure; on a terminal that cannot move its
// cursor (TERM unset or "dumb") the figure is redrawn with carriage returns and blanks only.
class ConsoleScreen {
 public:
  enum class Progress { kOff, kPlain, kAnsi };

  ConsoleScreen(std::FILE* log, std::FILE* messages, Progress progress);
  // How a progress figure can be drawn on the stream: on a terminal only, with escape
  // sequences when TERM names a terminal that has them.
  static Progress ProgressFor(std::FILE* stream);

  // Each log line (without its line end) goes through the filter, which gives the text to
  // write for it, or nothing.
  using LineFilter = std::function<std::optional<std::string>(std::string_view line)>;
  void SetLineFilter(LineFilter filter) { filter_ = std::move(filter); }

  // Writes the complete lines of the text and holds the rest. The lines reach the log stream
  // at the next Flush(), or before anything is written on the messages stream, so that a run
  // that prints many lines at once writes them together.
  void WriteLog(std::string_view text);
  // Hands the lines written so far to the log stream's file.
  void Flush();
  // Writes a held partial line with a line end.
  void EndLog();
  // Draws the figure in place of the one shown (nothing off a terminal).
  void ShowProgress(std::string_view caption);
  void ClearProgress();
  // Makes room for a message on the messages stream: the figure goes and a held partial log
  // line is ended, so that the message starts a line of its own, after the log it follows.
  void BeforeMessage();

  bool progress_shown() const { return shown_; }

 private:
  std::FILE* log_;
  std::FILE* messages_;
  Progress progress_;
  void WriteLines(std::string lines);

  LineFilter filter_;
  std::string held_;     // the log's last line, not yet ended
  std::string caption_;  // the figure on screen
  bool shown_ = false;
};

}  // namespace corvina
