#include "workshop/hh/ProjectOptions.h"

#include <ostream>
#include <string>
#include <string_view>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "workshop/common/ChmArchive.h"
#include "workshop/hh/Decompile.h"
#include "workshop/hh/HhMessages.h"

namespace corvina::workshop {
namespace {

uint32_t U32(std::string_view bytes, size_t at) {
  auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])); };
  return byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
}

// The NUL-ended text at the offset of /#STRINGS, as UTF-8 (texts are stored in the project's
// code page; a compiler that kept UTF-8 is read as is).
std::string StringAt(std::string_view strings, uint32_t offset) {
  if (offset == 0 || offset >= strings.size()) return {};
  std::string text(strings.substr(offset, strings.find('\0', offset) - offset));
  return IsValidUtf8(text) ? text : AnsiToUtf8(text);
}

// The contents file of the window named (the first window when no name is given), from
// /#WINDOWS: a count, the size of an entry, then the entries, each naming its window at 0x08
// and its contents file at 0x60 by offsets into /#STRINGS.
std::string WindowContentsFile(const ChmArchive& archive, std::string_view window) {
  constexpr size_t kNameAt = 0x08;
  constexpr size_t kContentsAt = 0x60;
  Result<std::string> windows = archive.ReadFile("/#WINDOWS", 1 << 20);
  Result<std::string> strings = archive.ReadFile("/#STRINGS", 16 << 20);
  if (!windows.ok() || !strings.ok() || windows->size() < 8) return {};
  const uint32_t count = U32(*windows, 0);
  const uint32_t entry_size = U32(*windows, 4);
  if (entry_size < kContentsAt + 4) return {};
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t at = 8 + i * entry_size;
    if (at + entry_size > windows->size()) break;
    const std::string name = StringAt(*strings, U32(*windows, at + kNameAt));
    if (!window.empty() && !EqualsIgnoringCase(name, window)) continue;
    return StringAt(*strings, U32(*windows, at + kContentsAt));
  }
  return {};
}

bool IsContentsName(std::string_view name) {
  if (name.size() < 5 || name.front() != '/' || name.find("::") != std::string_view::npos) {
    return false;
  }
  return EndsWithIgnoringCase(name, ".hhc");
}

}  // namespace

std::string FindContentsFile(const ChmArchive& archive) {
  if (std::string named = archive.SystemText(0); !named.empty()) return named;
  if (std::string windowed = WindowContentsFile(archive, archive.SystemText(5));
      !windowed.empty()) {
    return windowed;
  }
  std::string single;
  for (const ChmEntry& entry : archive.entries()) {
    if (!IsContentsName(entry.name)) continue;
    if (!single.empty()) return {};  // several: none of them is the one
    single = entry.name.substr(1);
  }
  return single;
}

int PrintProjectOptions(const std::filesystem::path& file, std::ostream& out) {
  Result<ChmArchive> archive = ChmArchive::Open(file);
  if (!archive.ok()) {
    const int32_t number = archive.error().number;
    const bool not_chm = number == kErrNotAHelpFile || number == kErrDamagedHelpFile;
    out << "HHC" << (not_chm ? hh_messages::kNotAHelpFile : hh_messages::kCannotOpenInput)
        << ": Error: " << archive.error().description << '\n';
    return kDecompileFailed;
  }
  constexpr std::pair<uint16_t, const char*> kOptions[] = {
      {0, "Contents file"}, {1, "Index file"}, {2, "Default topic"}, {3, "Title"}};
  for (const auto& [code, key] : kOptions) {
    std::string value = code == 0 ? FindContentsFile(*archive) : archive->SystemText(code);
    if (value.empty()) continue;
    // A line break inside a value would read as another option.
    for (char& c : value) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    out << key << '=' << value << '\n';
  }
  return kDecompileClean;
}

}  // namespace corvina::workshop
