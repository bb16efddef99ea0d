#include "apps/cli/SiteSettingsFile.h"

#include <ini.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/ReplaceFile.h"
#include "shared/SettingText.h"

namespace corvina::cli {
namespace {

namespace fs = std::filesystem;

// The section the file's keys may stand under; keys before any section count as well.
constexpr std::string_view kSectionName = "Corvina";

// The parser's line buffer holds this many characters, line end and terminator included.
constexpr size_t kParserLine = 200;
constexpr size_t kLongestLine = kParserLine - 3;

// How many folders above the site a relative OUTPUT may climb.
constexpr long kOutputLevelsUp = 2;

enum class Kind { kText, kPage, kPath, kBoolean };

Kind KindOf(std::string_view key) {
  if (key == "DEFAULTPAGE") return Kind::kPage;
  if (key == "OUTPUT") return Kind::kPath;
  if (key == "TITLE") return Kind::kText;
  return Kind::kBoolean;
}

bool IsSiteKey(std::string_view key) {
  return std::find(std::begin(kSiteSettingKeys), std::end(kSiteSettingKeys), key) !=
         std::end(kSiteSettingKeys);
}

struct Warning {
  int line;
  std::string text;
};

// One run of the parser over the file's lines. Lines already found malformed are fed to it
// blank, so that a further run finds the next one: the parser reports only the first.
struct ParseRun {
  const std::vector<std::string_view>* lines;
  const std::set<int>* blanked;
  const SiteLocation* site;
  size_t next = 0;  // lines handed out so far: the number of the line being parsed
  std::map<std::string, SiteSetting> values;
  std::vector<Warning> warnings;
};

char* ReadLine(char* buffer, int size, void* stream) {
  auto& run = *static_cast<ParseRun*>(stream);
  if (run.next >= run.lines->size()) return nullptr;
  const std::string_view line = (*run.lines)[run.next++];
  const int number = static_cast<int>(run.next);
  std::string_view body = line;
  if (body.ends_with('\n')) body.remove_suffix(1);
  if (body.ends_with('\r')) body.remove_suffix(1);
  if (run.blanked->count(number) > 0 || body.size() + 3 > static_cast<size_t>(size)) {
    if (run.blanked->count(number) == 0) {
      run.warnings.push_back(
          {number, "line longer than " + std::to_string(size - 3) + " characters, left out"});
    }
    std::strcpy(buffer, "\n");
    return buffer;
  }
  std::memcpy(buffer, body.data(), body.size());
  buffer[body.size()] = '\n';
  buffer[body.size() + 1] = '\0';
  return buffer;
}

// The store's form of a value given in the file, or an error saying what is wrong with it.
Result<std::string> StoreValue(std::string_view key, std::string_view value,
                               const SiteLocation& site) {
  switch (KindOf(key)) {
    case Kind::kText:
      return std::string(value);
    case Kind::kBoolean: {
      if (!ParseBoolean(value).ok()) {
        return Error{kErrTypeMismatch, "\"" + std::string(value) + "\" is not True or False"};
      }
      return std::string(value);
    }
    case Kind::kPath: {
      if (value.empty()) return std::string();
      return (site.folder / fs::path(value)).lexically_normal().string();
    }
    case Kind::kPage: {
      if (value.empty() || value.starts_with("file:")) return std::string(value);
      std::string page(value);
      while (page.starts_with("./"))
        page.erase(0, 2);
      return site.url + "/" + page;
    }
  }
  return std::string(value);
}

int OnValue(void* user, const char* section, const char* name, const char* value) {
  auto& run = *static_cast<ParseRun*>(user);
  const int line = static_cast<int>(run.next);
  const std::string key = SettingKey(name);
  if (*section != '\0' && SettingKey(section) != SettingKey(kSectionName)) {
    run.warnings.push_back({line, "section [" + std::string(section) + "] is not [" +
                                      std::string(kSectionName) + "], " + name + " left out"});
  } else if (!IsSiteKey(key)) {
    run.warnings.push_back({line, "unknown setting " + std::string(name) + ", left out"});
  } else if (Result<std::string> stored = StoreValue(key, value, *run.site); !stored.ok()) {
    run.warnings.push_back({line, key + ": " + stored.error().description + ", left out"});
  } else {
    run.values[key] = SiteSetting{*stored, line};
  }
  return 1;  // every problem is a warning of ours; the parser's own count only syntax errors
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

}  // namespace

std::string SettingKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

std::string SiteFileValue(std::string_view key, const std::string& value,
                          const SiteLocation& site) {
  if (value.empty()) return value;
  if (KindOf(key) == Kind::kPage) {
    const std::string prefix = site.url + "/";
    return value.starts_with(prefix) ? value.substr(prefix.size()) : value;
  }
  if (KindOf(key) == Kind::kPath) {
    // An output in the site or beside it (a build folder of the same project, say) moves with
    // the folder; one farther away is kept absolute.
    const fs::path relative = fs::path(value).lexically_normal().lexically_relative(site.folder);
    const auto up = std::count(relative.begin(), relative.end(), fs::path(".."));
    if (!relative.empty() && up <= kOutputLevelsUp) return relative.string();
  }
  return value;
}

SiteSettingsFile ParseSiteSettings(std::string_view text, const fs::path& path,
                                   const SiteLocation& site) {
  // A value keeps what follows a ";" or "#", and an indented line is a line of its own, not a
  // continuation of the one before.
  ini_allow_inline_comments = false;
  ini_allow_multiline = false;
  const std::vector<std::string_view> lines = SplitLines(text);
  std::set<int> malformed;
  ParseRun run{&lines, &malformed, &site, 0, {}, {}};
  for (size_t pass = 0; pass <= lines.size(); ++pass) {
    run = ParseRun{&lines, &malformed, &site, 0, {}, {}};
    const int first_error = ini_parse_stream(ReadLine, &run, OnValue, &run);
    if (first_error <= 0 || malformed.count(first_error) > 0) break;
    malformed.insert(first_error);
  }
  for (int line : malformed)
    run.warnings.push_back({line, "not a \"KEY = value\" line, left out"});
  std::stable_sort(run.warnings.begin(), run.warnings.end(),
                   [](const Warning& a, const Warning& b) { return a.line < b.line; });

  SiteSettingsFile file;
  file.path = path;
  file.values = std::move(run.values);
  for (const Warning& warning : run.warnings)
    file.warnings.push_back(path.string() + ":" + std::to_string(warning.line) + ": " +
                            warning.text);
  return file;
}

SiteSettingsFile ReadSiteSettings(const SiteLocation& site) {
  const fs::path path = site.folder / kSiteSettingsFileName;
  std::error_code ec;
  if (!fs::exists(path, ec) && !ec) return SiteSettingsFile{path, {}, {}};
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in || !fs::is_regular_file(path, ec)) {
    return SiteSettingsFile{path, {}, {path.string() + ": cannot be read, left out"}};
  }
  return ParseSiteSettings(text.str(), path, site);
}

Result<std::string> SiteSettingsText(const std::vector<std::pair<std::string, std::string>>& values,
                                     const SiteLocation& site) {
  std::string text =
      "; Corvina's settings for this site. They come before the ones saved per user and\n"
      "; after the command line's. OUTPUT is relative to this folder, DEFAULTPAGE a page in it.\n"
      "[" +
      std::string(kSectionName) + "]\n";
  for (const auto& [key, value] : values) {
    const std::string written = SiteFileValue(key, value, site);
    const std::string line = key + " = " + written;
    const bool blank_edges =
        !written.empty() && (written.front() == ' ' || written.front() == '\t' ||
                             written.back() == ' ' || written.back() == '\t');
    if (blank_edges || written.find_first_of("\r\n") != std::string::npos) {
      return Error{kErrInvalidArgument,
                   "the value of " + key + " begins or ends with a blank or holds a line break"};
    }
    if (line.size() > kLongestLine) {
      return Error{kErrInvalidArgument, "the value of " + key + " makes a line longer than " +
                                            std::to_string(kLongestLine) + " characters"};
    }
    text += line + "\n";
  }
  return text;
}

Status WriteSiteSettingsFile(const fs::path& site_folder, std::string_view text) {
  return ReplaceFile(site_folder / kSiteSettingsFileName, text);
}

}  // namespace corvina::cli
