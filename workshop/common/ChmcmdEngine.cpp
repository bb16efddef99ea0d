#include "workshop/common/ChmcmdEngine.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/TextEncoding.h"
#include "platform/UniqueFd.h"

namespace corvina::workshop {
namespace {

// "Note: Scanning file index.htm." -> "index.htm"
std::string_view ScannedName(std::string_view rest) {
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == ':'))
    rest.remove_prefix(1);
  if (!rest.empty() && rest.back() == '.') rest.remove_suffix(1);
  return rest;
}

}  // namespace

// chmcmd looks for a linked file under its address as written, percent escapes included; the
// viewer decodes them, so a link whose decoded name exists is sound.
bool ChmcmdOutputFilter::LinkedFileExists(std::string_view text) const {
  constexpr std::string_view kWhile = " while scanning ";
  constexpr std::string_view kBut = ", but couldn't find it on disk";
  size_t while_at = text.find(kWhile);
  if (folder_.empty() || while_at == std::string_view::npos || !text.ends_with(kBut)) return false;
  const std::string linked = PercentDecode(text.substr(11, while_at - 11));
  const std::string_view page =
      text.substr(while_at + kWhile.size(), text.size() - kBut.size() - while_at - kWhile.size());
  if (linked == text.substr(11, while_at - 11)) return false;
  std::error_code ec;
  const std::filesystem::path page_folder = std::filesystem::path(page).parent_path();
  return std::filesystem::is_regular_file(folder_ / linked, ec) ||
         std::filesystem::is_regular_file(folder_ / page_folder / linked, ec);
}

std::string ChmcmdOutputFilter::Message(HhcCode code, std::string_view text) {
  if (IsError(code)) {
    failed_ = true;
  } else {
    ++warnings_;
  }
  return FormatMessage(code, text);
}

std::optional<std::string> ChmcmdOutputFilter::Line(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  if (awaiting_exception_) {
    // The exception's class and text follow; the stack addresses after them say nothing.
    if (line.empty() || line.starts_with("  $")) return std::nullopt;
    awaiting_exception_ = false;
    return Message(HhcCode::kCompilerFailed,
                   "The compiler stopped with an unhandled exception: " + std::string(line));
  }
  if (line.empty() || line.starts_with("chmcmd, a CHM compiler") || line.starts_with("  $")) {
    return std::nullopt;
  }
  if (line.starts_with("Note: Scanning file ")) {
    if (!show_progress_) return std::nullopt;
    return "Processing " + std::string(ScannedName(line.substr(20)));
  }
  if (line.starts_with("Note: Scanning TOC file") ||
      line.starts_with("Note: Scanning Index file")) {
    if (!show_progress_) return std::nullopt;
    return "Processing " + std::string(ScannedName(line.substr(line.find("file") + 4)));
  }
  if (line.starts_with("Note:") || line.starts_with("Writing CHM ")) return std::nullopt;
  if (line.starts_with("Warning: ")) {
    std::string_view text = line.substr(9);
    if (text.starts_with("Found file ")) {
      if (LinkedFileExists(text)) return std::nullopt;
      return Message(HhcCode::kLinkNotOnDisk, text);
    }
    if (text.starts_with("File ") && text.ends_with(" does not exist")) {
      return Message(HhcCode::kFileNotInProject, text);
    }
    return Message(HhcCode::kCompilerWarning, text);
  }
  if (line.starts_with("Error: ")) {
    std::string_view text = line.substr(7);
    if (text.starts_with("Html parsing ")) {
      std::string_view page = text.substr(13);
      page = page.substr(0, page.find(", failed"));
      return Message(HhcCode::kXmlPrologPage,
                     "The page " + std::string(page) +
                         " could not be parsed (an XML declaration at its start does this): it "
                         "is stored unchanged, but has no title and no full-text entry, and its "
                         "links are not followed.");
    }
    // The entry still opens its page; only the jump to the anchor fails.
    if (text.starts_with("Anchor ")) return Message(HhcCode::kAnchorUndefined, text);
    if (text.starts_with("Can't find TOC file")) return Message(HhcCode::kContentsMissing, text);
    if (text.starts_with("Can't find index file")) return Message(HhcCode::kIndexMissing, text);
    return Message(HhcCode::kCompilerError, text);
  }
  if (line.starts_with("Can't find project file")) {
    return Message(HhcCode::kProjectUnreadable, line);
  }
  if (line.starts_with("This XML CHM project seems corrupt")) {
    return Message(HhcCode::kBadProject, line);
  }
  if (line.starts_with("An unhandled exception occurred")) {
    awaiting_exception_ = true;
    failed_ = true;
    return std::nullopt;
  }
  return std::string(line);
}

std::optional<std::string> ChmcmdOutputFilter::Finish() {
  if (!awaiting_exception_) return std::nullopt;
  awaiting_exception_ = false;
  return Message(HhcCode::kCompilerFailed, "The compiler stopped with an unhandled exception.");
}

ChmcmdResult RunChmcmd(const ChmcmdRun& run, const std::function<void(std::string_view)>& on_line) {
  ChmcmdResult result;
  termios raw{};
  ::cfmakeraw(&raw);
  // The folder and the arguments are ready before the fork: the child only calls chdir, exec.
  const std::string folder = run.project_copy.parent_path().string();
  const std::string program = run.chmcmd.string();
  const std::string project = run.project_copy.filename().string();
  std::vector<const char*> argv = {program.c_str(), "--verbosity", "5"};
  if (!run.scan_html) argv.push_back("--no-html-scan");
  argv.push_back(project.c_str());
  argv.push_back(nullptr);

  int master_fd = -1;
  pid_t pid = ::forkpty(&master_fd, nullptr, &raw, nullptr);
  if (pid < 0) return result;
  if (pid == 0) {
    if (::chdir(folder.c_str()) == 0) {
      ::execv(program.c_str(), const_cast<char* const*>(argv.data()));
    }
    std::_Exit(127);
  }
  result.started = true;
  UniqueFd master(master_fd);

  std::string pending;
  char buffer[4096];
  while (true) {
    if (run.stop != nullptr && *run.stop != 0) {
      result.interrupted = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd pfd{master.get(), POLLIN, 0};
    int ready = ::poll(&pfd, 1, 100);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    ssize_t n = ::read(master.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EIO: the terminal's other side closed
    pending.append(buffer, static_cast<size_t>(n));
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      on_line(std::string_view(pending).substr(start, end - start));
    }
    pending.erase(0, start);
  }
  if (!pending.empty() && !result.interrupted) on_line(pending);
  master.reset();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_code = 128 + WTERMSIG(status);
  }
  if (result.exit_code == 127 && !result.interrupted) result.started = false;
  return result;
}

}  // namespace corvina::workshop
