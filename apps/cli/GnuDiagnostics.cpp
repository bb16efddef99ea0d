#include "apps/cli/GnuDiagnostics.h"

#include <algorithm>
#include <fstream>

namespace corvina::cli {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Characters that may stand on either side of a file's name inside a message.
bool IsNameBoundary(std::string_view text, size_t at) {
  if (at >= text.size()) return true;
  const char c = text[at];
  return c == ' ' || c == '"' || c == '\'' || c == ',' || c == ';' || c == ':' || c == '#' ||
         c == '(' || c == ')' || c == '.' || c == '\t';
}

// Where `name` occurs in `text` as a whole name: after a boundary or the site folder's "/",
// and followed by a boundary. npos when it does not.
size_t FindName(std::string_view text, std::string_view name) {
  for (size_t at = text.find(name); at != std::string_view::npos; at = text.find(name, at + 1)) {
    const bool starts = at == 0 || IsNameBoundary(text, at - 1) || text[at - 1] == '/';
    if (starts && IsNameBoundary(text, at + name.size())) return at;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<ToolMessage> ParseToolMessage(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  if (!line.starts_with("HHC")) return std::nullopt;
  size_t at = 3;
  while (at < line.size() && IsDigit(line[at]))
    ++at;
  if (at == 3) return std::nullopt;
  const std::string_view rest = line.substr(at);
  for (const auto& [kind, error] : {std::pair{": Warning: ", false}, {": Error: ", true}}) {
    const std::string_view prefix = kind;
    if (rest.starts_with(prefix)) {
      return ToolMessage{std::string(line.substr(0, at)), error,
                         std::string(rest.substr(prefix.size()))};
    }
  }
  return std::nullopt;
}

GnuDiagnostics::GnuDiagnostics(std::filesystem::path site_folder,
                               std::vector<std::string> site_files)
    : site_folder_(std::move(site_folder)), site_files_(std::move(site_files)) {}

std::string GnuDiagnostics::NamedFile(std::string_view text) const {
  // The longest name wins, so "guide/a.htm" is not taken for "a.htm".
  std::string best;
  for (const std::string& file : site_files_) {
    if (file.size() > best.size() && FindName(text, file) != std::string_view::npos) best = file;
  }
  if (!best.empty()) return best;
  // The compiler names some pages by their file name alone; one page of that name is meant.
  for (const std::string& file : site_files_) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) continue;
    const std::string_view name = std::string_view(file).substr(slash + 1);
    if (name.size() <= best.size() || FindName(text, name) == std::string_view::npos) continue;
    const bool unique =
        std::none_of(site_files_.begin(), site_files_.end(), [&](const auto& other) {
          return &other != &file && (other == name || other.ends_with("/" + std::string(name)));
        });
    if (unique) best = file;
  }
  return best;
}

int GnuDiagnostics::LineOf(const std::string& file, std::string_view text) const {
  // "Found file X while scanning PAGE, but couldn't find it on disk": the link to X.
  constexpr std::string_view kFound = "Found file ";
  constexpr std::string_view kWhile = " while scanning ";
  const size_t end = text.find(kWhile);
  if (!text.starts_with(kFound) || end == std::string_view::npos) return 1;
  std::string_view target = text.substr(kFound.size(), end - kFound.size());
  // The page may name it relative to its own folder: look for the last part of the name.
  if (const size_t slash = target.rfind('/'); slash != std::string_view::npos) {
    target.remove_prefix(slash + 1);
  }
  if (target.empty()) return 1;
  std::ifstream in(site_folder_ / file, std::ios::binary);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.find(target) != std::string::npos) return number;
  }
  return 1;
}

std::string GnuDiagnostics::Format(const ToolMessage& message) const {
  const std::string kind = message.error ? "error" : "warning";
  const std::string file = NamedFile(message.text);
  if (file.empty()) return "corvina: " + kind + ": " + message.number + ": " + message.text;
  return file + ":" + std::to_string(LineOf(file, message.text)) + ": " + kind + ": " +
         message.number + ": " + message.text;
}

}  // namespace corvina::cli
