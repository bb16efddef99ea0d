#include "workshop/hh/ProjectOptions.h"

#include <ostream>
#include <string>

#include "workshop/common/ChmArchive.h"
#include "workshop/hh/Decompile.h"
#include "workshop/hh/HhMessages.h"

namespace corvina::workshop {

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
    std::string value = archive->SystemText(code);
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
