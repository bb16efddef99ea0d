#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::cli {

// One numbered message of the help tools' log: "HHC4001: Warning: text".
struct ToolMessage {
  std::string number;  // "HHC4001"
  bool error = false;
  std::string text;
};

// Reads a log line as a numbered message; nullopt for progress and other lines.
std::optional<ToolMessage> ParseToolMessage(std::string_view line);

// Rewrites the tools' numbered messages in the form editors and CI annotate:
// "FILE:LINE: warning: HHC4001: text" (or "error:"). FILE is the site file the message names,
// relative to the site folder (a bare file name counts when one site file has it); LINE is the
// first line of FILE that holds the missing file a link names (HHC4001), else 1. A message that
// names no file of the site becomes "corvina: warning: HHC4005: text".
class GnuDiagnostics {
 public:
  // `site_files`: the site's files, site-relative with "/".
  GnuDiagnostics(std::filesystem::path site_folder, std::vector<std::string> site_files);

  std::string Format(const ToolMessage& message) const;

 private:
  // The site file the text names, or "" when it names none.
  std::string NamedFile(std::string_view text) const;
  int LineOf(const std::string& file, std::string_view text) const;

  std::filesystem::path site_folder_;
  std::vector<std::string> site_files_;
};

}  // namespace corvina::cli
