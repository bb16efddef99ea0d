#include "platform/Text.h"

#include <algorithm>

namespace corvina {

std::string_view Trim(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string AsciiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

size_t FindIgnoringCase(std::string_view text, std::string_view lower, size_t from) {
  if (lower.empty()) return from <= text.size() ? from : std::string_view::npos;
  // Candidates are found by the first character in either case, with the library's fast search.
  const char first = lower.front();
  const bool leads_with_letter = first >= 'a' && first <= 'z';
  const char upper = leads_with_letter ? static_cast<char>(first - 'a' + 'A') : first;
  size_t next_lower = text.find(first, from);
  size_t next_upper = leads_with_letter ? text.find(upper, from) : std::string_view::npos;
  for (;;) {
    const size_t i = std::min(next_lower, next_upper);
    if (i == std::string_view::npos || i + lower.size() > text.size()) break;
    size_t k = 1;
    while (k < lower.size() && AsciiLower(text[i + k]) == lower[k])
      ++k;
    if (k == lower.size()) return i;
    if (i == next_lower) {
      next_lower = text.find(first, i + 1);
    } else {
      next_upper = text.find(upper, i + 1);
    }
  }
  return std::string_view::npos;
}

}  // namespace corvina
