#include "workshop/common/ChmcmdEngine.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <vector>

#include "platform/PosixProcessRunner.h"
#include "platform/TextEncoding.h"

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
  std::vector<std::string> arguments = {run.chmcmd.string(), "--verbosity", "5"};
  if (!run.scan_html) arguments.emplace_back("--no-html-scan");
  arguments.push_back(run.project_copy.filename().string());
  PosixProcessRunner runner;
  ProcessStart start = runner.Start({.working_directory = run.project_copy.parent_path().string(),
                                     .arguments = std::move(arguments),
                                     .streams = ProcessStreams::kTerminal});
  if (!start.child) return result;
  result.started = true;

  std::string pending;
  std::array<std::byte, 4096> buffer;
  while (true) {
    if (run.stop != nullptr && *run.stop != 0) {
      result.interrupted = true;
      break;
    }
    const ProcessRead read = start.child->Read(buffer, std::chrono::milliseconds(100));
    pending.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
    size_t begin = 0;
    for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
      on_line(std::string_view(pending).substr(begin, end - begin));
    }
    pending.erase(0, begin);
    if (read.end) break;
  }
  if (result.interrupted) {
    // Dropping the child kills it at once and reaps it.
    start.child.reset();
    return result;
  }
  if (!pending.empty()) on_line(pending);
  std::optional<int32_t> code;
  while (!(code = start.child->Wait(std::chrono::milliseconds(1000)))) {
  }
  result.exit_code = *code;
  if (result.exit_code == 127) result.started = false;
  return result;
}

}  // namespace corvina::workshop
