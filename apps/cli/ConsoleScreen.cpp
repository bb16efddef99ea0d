#include "apps/cli/ConsoleScreen.h"

#include <cstdlib>

#include "platform/Terminal.h"

namespace corvina {
namespace {

// The line with CRLF line ends made LF; a carriage return elsewhere stays.
std::string PlainLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] == '\n')) continue;
    out += text[i];
  }
  return out;
}

}  // namespace

ConsoleScreen::ConsoleScreen(std::FILE* log, std::FILE* messages, Progress progress)
    : log_(log), messages_(messages), progress_(progress) {}

ConsoleScreen::Progress ConsoleScreen::ProgressFor(std::FILE* stream) {
  if (!IsTerminal(stream)) return Progress::kOff;
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::string_view(term) == "dumb") {
    return Progress::kPlain;
  }
  return Progress::kAnsi;
}

void ConsoleScreen::WriteLog(std::string_view text) {
  const size_t end = text.rfind('\n');
  if (end == std::string_view::npos) {
    held_.append(text);
    return;
  }
  held_.append(text.substr(0, end + 1));
  std::string lines = PlainLineEnds(held_);
  held_.assign(text.substr(end + 1));
  WriteLines(std::move(lines));
}

void ConsoleScreen::EndLog() {
  if (!held_.empty()) {
    std::string line = PlainLineEnds(held_);
    held_.clear();
    line += '\n';
    WriteLines(std::move(line));
  }
  Flush();
}

void ConsoleScreen::WriteLines(std::string lines) {
  if (filter_) {
    std::string kept;
    size_t start = 0;
    for (size_t end = lines.find('\n'); end != std::string::npos; end = lines.find('\n', start)) {
      if (std::optional<std::string> line =
              filter_(std::string_view(lines).substr(start, end - start))) {
        kept += *line + "\n";
      }
      start = end + 1;
    }
    lines = std::move(kept);
  }
  if (lines.empty()) return;
  ClearProgress();
  std::fwrite(lines.data(), 1, lines.size(), log_);
}

void ConsoleScreen::Flush() {
  std::fflush(log_);
}

void ConsoleScreen::ShowProgress(std::string_view caption) {
  if (progress_ == Progress::kOff || caption.empty()) return;
  if (shown_ && caption == caption_) return;
  Flush();
  if (progress_ == Progress::kAnsi) {
    std::fputs("\r\033[K", messages_);
  } else {
    // Blanks cover what a longer figure left; the carriage return puts the cursor after it.
    std::fputc('\r', messages_);
    const size_t cover = shown_ && caption_.size() > caption.size() ? caption_.size() : 0;
    std::fprintf(messages_, "%*s\r", static_cast<int>(cover), "");
  }
  std::fwrite(caption.data(), 1, caption.size(), messages_);
  std::fflush(messages_);
  caption_ = caption;
  shown_ = true;
}

void ConsoleScreen::ClearProgress() {
  if (!shown_) return;
  Flush();
  if (progress_ == Progress::kAnsi) {
    std::fputs("\r\033[K", messages_);
  } else {
    std::fprintf(messages_, "\r%*s\r", static_cast<int>(caption_.size()), "");
  }
  std::fflush(messages_);
  shown_ = false;
}

void ConsoleScreen::BeforeMessage() {
  ClearProgress();
  EndLog();
}

}  // namespace corvina
