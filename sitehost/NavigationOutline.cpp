#include "sitehost/NavigationOutline.h"

#include <algorithm>
#include <utility>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "sitehost/PageReader.h"

namespace corvina::sitehost {
namespace {

constexpr std::string_view kBlanks = " \t\f\v";
constexpr int kTabWidth = 4;

struct Open {
  int indent;
  int index;
};

}  // namespace

std::vector<OutlineEntry> ParseOutline(std::string_view raw) {
  if (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
  const std::string text = DecodeUtf8OrWindows1252(raw);

  std::vector<OutlineEntry> entries;
  entries.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::vector<Open> open;  // the chain of entries that a deeper line may belong to
  size_t start = 0;
  int line_number = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r')
      ++end;
    const std::string_view line = std::string_view(text).substr(start, end - start);
    start = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
    ++line_number;
    const std::string_view content = Trim(line, kBlanks);
    if (content.empty()) continue;

    int indent = 0;
    for (const char c : line) {
      if (c == ' ') {
        ++indent;
      } else if (c == '\t') {
        indent = (indent / kTabWidth + 1) * kTabWidth;
      } else {
        break;
      }
    }
    while (!open.empty() && open.back().indent >= indent)
      open.pop_back();

    OutlineEntry entry;
    entry.line = line_number;
    entry.parent = open.empty() ? -1 : open.back().index;
    const size_t bar = content.rfind('|');
    if (bar == std::string_view::npos) {
      entry.page = std::string(content);
    } else {
      entry.separated = true;
      entry.label = std::string(Trim(content.substr(0, bar), kBlanks));
      entry.page = std::string(Trim(content.substr(bar + 1), kBlanks));
    }
    open.push_back({indent, static_cast<int>(entries.size())});
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace corvina::sitehost
