#include "platform/RegistryNames.h"

#include "platform/IRegistryStore.h"
#include "platform/TextEncoding.h"

namespace corvina {
namespace {

// Number of characters (UTF-8 lead bytes) in the text.
size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

Error BadName(std::string_view what, std::string_view name, std::string_view why) {
  std::string shown(name.substr(0, 80));
  for (char& c : shown) {
    if (c == '\0') c = '?';
  }
  if (name.size() > 80) shown += "...";
  return Error{kRegErrorInvalidParameter,
               "invalid registry " + std::string(what) + " \"" + shown + "\": " + std::string(why)};
}

}  // namespace

bool IsPredefinedRoot(uint32_t root) {
  return (root >= kHkeyClassesRoot && root <= kHkeyUsers) || root == kHkeyCurrentConfig;
}

Result<std::vector<std::string>> SplitKeyPath(std::string_view key) {
  std::vector<std::string> elements;
  if (key.find('\0') != std::string_view::npos) return BadName("key name", key, "contains NUL");
  if (key.empty()) return elements;
  if (key.front() == '\\') return BadName("key name", key, "starts with \"\\\"");
  if (key.back() == '\\') key.remove_suffix(1);
  size_t start = 0;
  while (start <= key.size()) {
    size_t end = key.find('\\', start);
    if (end == std::string_view::npos) end = key.size();
    std::string_view element = key.substr(start, end - start);
    if (element.empty()) return BadName("key name", key, "empty element between \"\\\"");
    if (CharacterCount(element) > kMaxKeyNameLength) {
      return BadName("key name", key, "an element is longer than 255 characters");
    }
    elements.emplace_back(element);
    start = end + 1;
  }
  return elements;
}

Status CheckValueName(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return BadName("value name", name, "contains NUL");
  if (CharacterCount(name) > kMaxValueNameLength) {
    return BadName("value name", name, "longer than 16383 characters");
  }
  return Status::Ok();
}

char32_t FoldCodePoint(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;  // Latin-1, but the multiplication sign
  if (c >= 0x100 && c <= 0x17F) {                  // Latin Extended-A: pairs
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (odd_upper) return (c & 1) ? c + 1 : c;
    return (c & 1) ? c : c + 1;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

std::string FoldRegistryName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  size_t i = 0;
  while (i < name.size()) {
    const size_t start = i;
    const int32_t c = DecodeUtf8At(name, i);
    // A byte that is not UTF-8, and a character outside the folded ranges, stays as it is.
    const char32_t folded = c < 0 ? 0 : FoldCodePoint(static_cast<char32_t>(c));
    if (c >= 0 && folded != static_cast<char32_t>(c)) {
      AppendUtf8(out, folded);
    } else {
      out.append(name.substr(start, i - start));
    }
  }
  return out;
}

}  // namespace corvina
