#include "workshop/common/HhcProject.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "workshop/common/HhcSitemap.h"

namespace corvina::workshop {
namespace {

namespace fs = std::filesystem;

// A line end's "\r" is left at the end of each line read, so it counts as a blank.
constexpr std::string_view kBlanks = " \t\r";

bool IsYes(std::string_view value) {
  return AsciiLowerCase(Trim(value, kBlanks)) == "yes";
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return lines;
}

// One option line: its key (lower case) and where its value starts.
struct OptionLine {
  std::string key;
  std::string_view value;
  std::string_view head;  // the line up to the value, blanks after "=" included
};

bool ParseOption(std::string_view line, OptionLine& option) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  option.key = AsciiLowerCase(Trim(line.substr(0, equals), kBlanks));
  size_t start = equals + 1;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
    ++start;
  option.head = line.substr(0, start);
  option.value = Trim(line.substr(start), kBlanks);
  return true;
}

}  // namespace

Resolution ResolveProjectName(const fs::path& folder, std::string_view raw, std::string& relative) {
  std::string decoded = AnsiToUtf8(raw);
  std::string slashed = decoded;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const std::string candidates[] = {decoded, slashed, std::string(raw)};
  bool outside = false;
  for (const std::string& candidate : candidates) {
    fs::path full = (folder / fs::path(candidate)).lexically_normal();
    fs::path rel = full.lexically_relative(folder);
    std::error_code ec;
    if (rel.empty() || *rel.begin() == "..") {
      // The project may name its files through a symbolic link to its folder (a site opened
      // through one), while the folder is known by its real path: compare the real paths.
      std::error_code folder_ec;
      const fs::path real = fs::weakly_canonical(full, ec);
      const fs::path real_folder = fs::weakly_canonical(folder, folder_ec);
      rel = real.lexically_relative(real_folder);
      if (ec || folder_ec || rel.empty() || *rel.begin() == "..") {
        outside = true;
        continue;
      }
      full = real;
    }
    if (fs::is_regular_file(full, ec)) {
      relative = rel.generic_string();
      return Resolution::kFound;
    }
  }
  relative = decoded;
  return outside ? Resolution::kOutside : Resolution::kMissing;
}

bool ParsedProject::HasErrors() const {
  return std::any_of(messages.begin(), messages.end(),
                     [](const HhcMessage& m) { return IsError(m.code); });
}

ParsedProject ReadProject(const fs::path& project_file) {
  ParsedProject project;
  std::error_code ec;
  project.project_file = fs::absolute(project_file, ec).lexically_normal();
  project.folder = project.project_file.parent_path();
  auto error = [&](HhcCode code, std::string text) {
    project.messages.push_back({code, std::move(text)});
  };

  std::ifstream in(project.project_file, std::ios::binary);
  if (!in || fs::is_directory(project.project_file, ec)) {
    error(HhcCode::kProjectUnreadable,
          "The project file " + project.project_file.string() + " cannot be opened.");
    return project;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  // A project that starts with a UTF-8 byte-order mark is UTF-8 throughout (names that
  // Windows-1252 cannot hold, such as a folder named in Chinese); else it is Windows-1252.
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  std::string text = bytes.str();
  const bool utf8 = text.starts_with(kUtf8Mark);
  if (utf8) text.erase(0, kUtf8Mark.size());
  auto decode = [utf8](std::string_view raw) { return utf8 ? std::string(raw) : AnsiToUtf8(raw); };

  // Each option names what it is in the error text that a missing file gives.
  auto resolve_option = [&](std::string_view raw, HhcCode missing, std::string_view what,
                            std::string& relative) {
    Resolution found = ResolveProjectName(project.folder, raw, relative);
    if (found == Resolution::kMissing) {
      error(missing, "The " + std::string(what) + " " + decode(raw) + " does not exist.");
    } else if (found == Resolution::kOutside) {
      error(HhcCode::kOutsideProject, "The " + std::string(what) + " " + decode(raw) +
                                          " lies outside the project folder " +
                                          project.folder.string() + ".");
    }
  };

  std::string section;
  std::string& out = project.prepared_text;
  std::set<std::string> listed;
  std::set<std::string> reported_twice;
  bool has_compiled_file = false;
  for (const std::string& line : SplitLines(text)) {
    std::string_view trimmed = Trim(line, kBlanks);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      section = AsciiLowerCase(trimmed.substr(1, trimmed.size() - 2));
      out += line + "\r\n";
      continue;
    }
    OptionLine option;
    if (section == "options" && ParseOption(line, option)) {
      const std::string key_part(option.head);
      if (option.key == "compiled file") {
        has_compiled_file = !option.value.empty();
        project.compiled_file =
            (project.folder / fs::path(decode(option.value))).lexically_normal();
        out += line + "\r\n";  // replaced for each compile
      } else if (option.key == "contents file" && !option.value.empty()) {
        resolve_option(option.value, HhcCode::kContentsMissing, "contents file",
                       project.contents_file);
        out += key_part + project.contents_file + "\r\n";
      } else if (option.key == "index file" && !option.value.empty()) {
        resolve_option(option.value, HhcCode::kIndexMissing, "index file", project.index_file);
        out += key_part + project.index_file + "\r\n";
      } else if (option.key == "default topic") {
        project.default_topic = decode(option.value);
        out += key_part + project.default_topic + "\r\n";
      } else {
        if (option.key == "title") project.title = decode(option.value);
        if (option.key == "default window") project.default_window = std::string(option.value);
        if (option.key == "full-text search") project.full_text_search = IsYes(option.value);
        if (option.key == "full text search stop list file") {
          project.stop_list_file = decode(option.value);
        }
        if (option.key == "binary toc") project.binary_toc = IsYes(option.value);
        if (option.key == "binary index") project.binary_index = IsYes(option.value);
        if (option.key == "display compile progress") project.show_progress = IsYes(option.value);
        if (option.key == "language") {
          project.lcid =
              static_cast<uint32_t>(std::strtoul(std::string(option.value).c_str(), nullptr, 0));
        }
        out += line + "\r\n";
      }
      continue;
    }
    if (section == "windows" && !trimmed.empty()) project.windows.emplace_back(trimmed);
    if (section == "files" && !trimmed.empty() && trimmed.front() != ';') {
      std::string relative;
      resolve_option(trimmed, HhcCode::kListedFileMissing, "file", relative);
      // A compiler would store a name listed twice twice, or drop one without a word.
      if (!relative.empty() && !listed.insert(relative).second) {
        if (reported_twice.insert(relative).second) {
          error(HhcCode::kListedTwice, relative +
                                           " is listed more than once in [FILES]; it is "
                                           "stored once.");
        }
        continue;
      }
      project.files.push_back(relative);
      out += relative + "\r\n";
      continue;
    }
    out += line + "\r\n";
  }
  for (auto [name, text] : {std::pair{&project.contents_file, &project.contents_text},
                            std::pair{&project.index_file, &project.index_text}}) {
    if (name->empty() || project.HasErrors()) continue;
    // Read at its size into one string: a stream buffer and its copy would hold it three
    // times over, which for a generated index of tens of thousands of pages is megabytes.
    std::ifstream sitemap(project.folder / *name, std::ios::binary);
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(project.folder / *name, ec);
    std::string bytes(ec ? 0 : static_cast<size_t>(size), '\0');
    sitemap.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(0, sitemap.gcount())));
    *text = ReencodeSitemapLocals(bytes, project.folder);
  }
  if (!has_compiled_file) {
    error(HhcCode::kBadProject, "The project names no compiled file (\"Compiled file=\").");
  }
  return project;
}

namespace {

// A window definition with the contents and index files named as in `names`.
std::string WindowLineFor(const ParsedProject& project, const CompileNames& names,
                          std::string line) {
  for (auto [from, to] : {std::pair{&project.contents_file, &names.contents_file},
                          std::pair{&project.index_file, &names.index_file}}) {
    if (from->empty() || *from == *to) continue;
    const std::string quoted = "\"" + *from + "\"";
    for (size_t at = line.find(quoted); at != std::string::npos;
         at = line.find(quoted, at + to->size() + 2)) {
      line.replace(at, quoted.size(), "\"" + *to + "\"");
    }
  }
  return line;
}

}  // namespace

std::vector<std::string> WindowsFor(const ParsedProject& project, const CompileNames& names) {
  std::vector<std::string> windows;
  for (const std::string& line : project.windows)
    windows.push_back(WindowLineFor(project, names, line));
  return windows;
}

std::string ProjectTextFor(const ParsedProject& project, const CompileNames& names) {
  std::string text;
  std::string section;
  for (std::string line : SplitLines(project.prepared_text)) {
    std::string_view trimmed = Trim(line, kBlanks);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      section = AsciiLowerCase(trimmed.substr(1, trimmed.size() - 2));
    }
    OptionLine option;
    if (section == "options" && ParseOption(line, option)) {
      const std::string key_part(option.head);
      if (option.key == "compiled file") line = key_part + names.output.string();
      if (option.key == "contents file" && !project.contents_file.empty()) {
        line = key_part + names.contents_file;
      }
      if (option.key == "index file" && !project.index_file.empty()) {
        line = key_part + names.index_file;
      }
    } else if (section == "windows") {
      line = WindowLineFor(project, names, line);
    }
    text += line + "\r\n";
  }
  return text;
}

}  // namespace corvina::workshop
