// libFuzzer entry point: every input must come back byte-identical through both readers.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/FuzzInput.h"
#include "tests/helpers/LzxRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const corvina::fuzz::ScratchFolder folder("chm-lzx-fuzz");
  const std::string problem = corvina::chm::CheckLzxRoundTrip({data, size}, folder.path());
  if (!problem.empty()) {
    std::fprintf(stderr, "round trip failed: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
