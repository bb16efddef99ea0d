#include "sitehost/SitemapOutline.h"

#include <cctype>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "sitehost/PageReader.h"
#include "sitehost/SiteAddress.h"

namespace corvina::sitehost {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBlanks = " \t\r\n\f\v";

// Decodes the character references that help files use: the five XML ones, &nbsp; and
// numeric ones. Anything else stays as written.
std::string DecodeEntities(std::string_view text) {
  static constexpr std::pair<std::string_view, uint32_t> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semicolon == std::string_view::npos || semicolon - i > 10) {
      out += text[i];
      continue;
    }
    const std::string_view body = text.substr(i + 1, semicolon - i - 1);
    std::optional<uint32_t> code;
    if (body.size() > 1 && body[0] == '#') {
      const bool hex = body[1] == 'x' || body[1] == 'X';
      const std::string_view digits = body.substr(hex ? 2 : 1);
      uint32_t value = 0;
      bool valid = !digits.empty();
      for (char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : hex && std::isxdigit(static_cast<unsigned char>(c))
                              ? AsciiLower(c) - 'a' + 10
                              : -1;
        if (digit < 0 || value > 0x10FFFF) {
          valid = false;
          break;
        }
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
      }
      if (valid) code = value;
    } else {
      for (const auto& [name, value] : kNamed) {
        if (EqualsIgnoringCase(body, name)) code = value;
      }
    }
    if (!code) {
      out += text[i];
      continue;
    }
    AppendUtf8(out, *code == 0 ? 0xFFFD : *code);
    i = semicolon;
  }
  return out;
}

// One start or end tag: its lower-case name ("/ul" for an end tag) and its attributes, whose
// values keep their bytes.
struct Tag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;

  std::optional<std::string_view> Attribute(std::string_view wanted) const {
    for (const auto& [key, value] : attributes) {
      if (key == wanted) return value;
    }
    return std::nullopt;
  }
};

// Reads the tag that starts at text[at] == '<'; `at` moves past its ">".
Tag ReadTag(std::string_view text, size_t& at) {
  Tag tag;
  size_t i = at + 1;
  auto skip_blanks = [&] {
    while (i < text.size() && kBlanks.find(text[i]) != std::string_view::npos)
      ++i;
  };
  auto read_word = [&] {
    std::string word;
    while (i < text.size() && kBlanks.find(text[i]) == std::string_view::npos && text[i] != '>' &&
           text[i] != '=' && !(text[i] == '/' && !word.empty())) {
      word += AsciiLower(text[i++]);
    }
    return word;
  };
  tag.name = read_word();
  while (true) {
    skip_blanks();
    if (i >= text.size() || text[i] == '>') break;
    if (text[i] == '/' || text[i] == '=') {
      ++i;
      continue;
    }
    std::string key = read_word();
    skip_blanks();
    std::string value;
    if (i < text.size() && text[i] == '=') {
      ++i;
      skip_blanks();
      if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        const char quote = text[i++];
        const size_t end = std::min(text.find(quote, i), text.size());
        value = std::string(text.substr(i, end - i));
        i = end + 1;
      } else {
        while (i < text.size() && kBlanks.find(text[i]) == std::string_view::npos &&
               text[i] != '>') {
          value += text[i++];
        }
      }
    }
    tag.attributes.emplace_back(std::move(key), std::move(value));
  }
  at = std::min(i, text.size());
  return tag;
}

// A label on one outline line: control characters read as blanks, trimmed.
std::string OneLineLabel(std::string_view text) {
  std::string label(text);
  for (char& c : label) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  const size_t first = label.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return label.substr(first, label.find_last_not_of(' ') - first + 1);
}

// The path of an existing regular file below the folder whose components equal those of
// `relative`, exactly or else ignoring the case of ASCII letters.
std::optional<std::string> FindFile(const fs::path& folder, const std::string& relative) {
  std::error_code ec;
  if (fs::is_regular_file(folder / relative, ec)) return relative;
  fs::path at = folder;
  std::string found;
  size_t begin = 0;
  while (begin < relative.size()) {
    size_t end = relative.find('/', begin);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(begin, end - begin);
    std::optional<std::string> match;
    for (auto it = fs::directory_iterator(at, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (EqualsIgnoringCase(name, part)) {
        if (match) return std::nullopt;  // ambiguous
        match = name;
      }
    }
    if (!match) return std::nullopt;
    at /= *match;
    found += (found.empty() ? "" : "/") + *match;
    begin = end + 1;
  }
  if (!fs::is_regular_file(at, ec)) return std::nullopt;
  return found;
}

struct Reference {
  std::optional<std::string> page;  // the site-relative path of the file
  std::string problem;              // why the entry loses something, if it does
};

Reference ResolveLocal(std::string_view raw, const fs::path& folder) {
  std::string local(raw);
  // A reference into a help file ("ms-its:x.chm::/page.htm") names the page after "::".
  if (const size_t inside = local.find("::/"); inside != std::string::npos) {
    local = local.substr(inside + 2);
  }
  if (HasUrlScheme(local))
    return {std::nullopt, "it points outside the site: \"" + DecodeUtf8OrWindows1252(local) + "\""};
  std::string problem;
  if (const size_t mark = local.find_first_of("#?"); mark != std::string::npos) {
    problem = "its anchor \"" + local.substr(mark) + "\" was dropped";
    local.resize(mark);
  }
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  std::vector<std::string> candidates = {local};
  if (!IsValidUtf8(local)) candidates.push_back(AnsiToUtf8(local));
  for (size_t i = 0, n = candidates.size(); i < n; ++i) {
    const std::string decoded = PercentDecode(candidates[i]);
    if (decoded != candidates[i]) candidates.push_back(decoded);
  }
  for (const std::string& candidate : candidates) {
    const std::optional<std::string> normal = NormalizeRelativePath(candidate);
    if (!normal || normal->empty()) continue;
    if (std::optional<std::string> page = FindFile(folder, *normal)) return {page, problem};
  }
  return {std::nullopt,
          "there is no file \"" + DecodeUtf8OrWindows1252(local) + "\" in the folder"};
}

}  // namespace

std::vector<SitemapEntry> ParseSitemap(std::string_view text) {
  std::vector<SitemapEntry> entries;
  std::vector<std::pair<int, int>> open;  // list depth and index of the entries above
  int depth = 0;
  std::optional<SitemapEntry> entry;  // inside a "text/sitemap" object
  bool have_name = false;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
    if (text.substr(at, 4) == "<!--") {
      const size_t end = text.find("-->", at + 4);
      at = end == std::string_view::npos ? text.size() : end + 3;
      continue;
    }
    const Tag tag = ReadTag(text, at);
    if (tag.name == "ul" || tag.name == "ol") {
      ++depth;
    } else if ((tag.name == "/ul" || tag.name == "/ol") && depth > 0) {
      --depth;
    } else if (tag.name == "object") {
      const std::optional<std::string_view> type = tag.Attribute("type");
      if (type && EqualsIgnoringCase(*type, "text/sitemap")) {
        entry.emplace();
        have_name = false;
      }
    } else if (tag.name == "param" && entry) {
      const std::string name(tag.Attribute("name").value_or(""));
      const std::string value(tag.Attribute("value").value_or(""));
      if (EqualsIgnoringCase(name, "name") && !have_name) {
        entry->name = DecodeEntities(DecodeUtf8OrWindows1252(value));
        have_name = true;
      } else if (EqualsIgnoringCase(name, "local") && !entry->has_local) {
        entry->local = DecodeEntities(value);
        entry->has_local = true;
      }
    } else if (tag.name == "/object" && entry) {
      while (!open.empty() && open.back().first >= depth)
        open.pop_back();
      entry->parent = open.empty() ? -1 : open.back().second;
      open.emplace_back(depth, static_cast<int>(entries.size()));
      entries.push_back(std::move(*entry));
      entry.reset();
    }
  }
  return entries;
}

SitemapOutline OutlineFromSitemap(std::string_view sitemap, const fs::path& folder) {
  SitemapOutline outline;
  const std::vector<SitemapEntry> entries = ParseSitemap(sitemap);
  std::vector<int> level(entries.size(), 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    const SitemapEntry& entry = entries[i];
    level[i] = entry.parent < 0 ? 0 : level[entry.parent] + 1;
    const std::string label = OneLineLabel(entry.name);
    std::string line(static_cast<size_t>(4 * level[i]), ' ');
    line += label.empty() ? "|" : label + " |";
    if (entry.has_local && !entry.local.empty()) {
      Reference reference = ResolveLocal(entry.local, folder);
      // An outline line cannot hold a page name with a "|" or with blanks at either end.
      if (reference.page && (reference.page->find('|') != std::string::npos ||
                             OneLineLabel(*reference.page) != *reference.page)) {
        reference = {std::nullopt, "its page \"" + *reference.page + "\" cannot be named there"};
      }
      if (reference.page) line += " " + *reference.page;
      if (!reference.problem.empty()) {
        outline.problems.push_back("the entry \"" + label + "\": " + reference.problem);
      }
    }
    outline.text += line + "\n";
    ++outline.entries;
  }
  return outline;
}

}  // namespace corvina::sitehost
