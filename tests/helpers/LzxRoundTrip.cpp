#include "tests/helpers/LzxRoundTrip.h"

#include <map>
#include <vector>

#include "tests/helpers/ChmReadBack.h"
#include "workshop/chm/ChmArchiveWriter.h"

namespace corvina::chm {
namespace {

std::string Compare(const char* reader, const readback::ChmContents& got,
                    const std::map<std::string, std::string>& expected) {
  if (!got.error.empty()) return std::string(reader) + ": " + got.error;
  if (!got.warnings.empty()) return std::string(reader) + ": " + got.warnings.front();
  for (const auto& [name, bytes] : expected) {
    auto it = got.files.find(name);
    if (it == got.files.end()) return std::string(reader) + ": missing " + name;
    if (it->second != bytes) {
      size_t at = 0;
      while (at < bytes.size() && at < it->second.size() && bytes[at] == it->second[at])
        ++at;
      return std::string(reader) + ": " + name + " differs at byte " + std::to_string(at) +
             " (size " + std::to_string(it->second.size()) + ", expected " +
             std::to_string(bytes.size()) + ")";
    }
  }
  return {};
}

}  // namespace

std::string CheckLzxRoundTrip(std::span<const uint8_t> data, const std::filesystem::path& folder,
                              int threads) {
  // Cut points: one file, or up to four pieces whose sizes follow the first bytes.
  std::map<std::string, std::string> expected;
  std::vector<std::pair<std::string, std::span<const uint8_t>>> files;
  const size_t pieces = data.empty() ? 1 : 1 + data[0] % 4;
  size_t start = 0;
  for (size_t i = 0; i < pieces; ++i) {
    size_t end = data.size();
    if (i + 1 < pieces && data.size() > 1) {
      end = std::min(data.size(), start + data.size() * (1 + data[i % data.size()]) / 1024 + 1);
    }
    const std::string name = "/piece" + std::to_string(i) + ".bin";
    files.emplace_back(name, data.subspan(start, end - start));
    expected[name].assign(reinterpret_cast<const char*>(data.data()) + start, end - start);
    start = end;
  }
  const std::filesystem::path chm = folder / "roundtrip.chm";
  ChmArchiveOptions options;
  options.threads = threads;
  Result<std::unique_ptr<ChmArchiveWriter>> writer = ChmArchiveWriter::Create(chm, options);
  if (!writer.ok()) return "create: " + writer.error().description;
  for (const auto& [name, bytes] : files) {
    if (Status status = (*writer)->AddCompressed(name, bytes); !status.ok()) {
      return "add: " + status.description();
    }
  }
  if (Status status = (*writer)->Finish(); !status.ok()) return "finish: " + status.description();

  std::string problem = Compare("libchm", readback::ReadWithLibchm(chm), expected);
  if (problem.empty()) problem = Compare("libmspack", readback::ReadWithLibmspack(chm), expected);
  if (problem.empty()) {
    const std::vector<std::string> failed = readback::FastFindWithLibmspack(chm, expected);
    if (!failed.empty()) problem = "libmspack fast_find: " + failed.front();
  }
  std::error_code ec;
  std::filesystem::remove(chm, ec);
  return problem;
}

}  // namespace corvina::chm
