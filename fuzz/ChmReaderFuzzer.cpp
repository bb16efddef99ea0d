// The .chm reader behind hh -decompile, hh -options and the viewer: directory, index tree,
// compression tables, system file and the reading of every listed file.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "workshop/common/ChmArchive.h"
#include "workshop/hh/Decompile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  using namespace corvina::workshop;
  static fuzz::MemoryFile file;
  Result<ChmArchive> archive = ChmArchive::Open(file.Hold(data, size));
  if (!archive.ok()) return 0;
  uint64_t total = 0;
  for (const ChmEntry& entry : archive->entries()) {
    ClassifyArchiveName(entry.name);
    Status read = archive->Read(entry, [&](std::span<const std::byte> bytes) {
      total += bytes.size();
      // Names may share one region; a few megabytes show every decoding path.
      return total > (8u << 20) ? Status(Error{1, "enough"}) : Status::Ok();
    });
    if (total > (8u << 20)) break;
    (void)read;
  }
  for (uint16_t code = 0; code < 4; ++code)
    archive->SystemText(code);
  return 0;
}
