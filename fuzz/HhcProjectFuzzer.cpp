// hhc's project reader and the copy it writes for the compiler.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "fuzz/FuzzInput.h"
#include "workshop/common/HhcProject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvina;
  namespace fs = std::filesystem;
  static const fuzz::ScratchFolder scratch("hhc-project-fuzz");
  static const fs::path folder = [] {
    std::ofstream(scratch.path() / "index.htm") << "<title>x</title>";
    return scratch.path();
  }();
  const fs::path project = folder / "project.hhp";
  std::ofstream(project, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  workshop::ParsedProject parsed = workshop::ReadProject(project);
  const workshop::CompileNames names{folder / "out.chm", "toc.hhc", "index.hhk"};
  workshop::ProjectTextFor(parsed, names);
  workshop::WindowsFor(parsed, names);
  return 0;
}
