// libFuzzer entry point: every input must come back byte-identical through both readers.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "workshop/chm/fuzz/LzxRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "chm-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return std::filesystem::path(pattern);
  }();
  const std::string problem = corvina::chm::CheckLzxRoundTrip({data, size}, folder);
  if (!problem.empty()) {
    std::fprintf(stderr, "round trip failed: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
