#include "support/mTempFile.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/CommandLine.h"
#include "platform/IEnvironment.h"
#include "platform/IFileSystem.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "support/ErrorReport.h"

namespace corvina::mTempFile {
namespace {

bool Exists(IFileSystem& fs, const std::string& path) {
  return fs.FileExists(path) || fs.FolderExists(path);
}

// FNV-1a of the folder and the role, folded to a 16-bit number that is not 0.
unsigned NumberFor(std::string_view sFolder, std::string_view sRole) {
  uint32_t hash = 2166136261u;
  for (std::string_view part : {sFolder, std::string_view("\0", 1), sRole}) {
    for (char c : part)
      hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  const unsigned number = (hash ^ (hash >> 16)) & 0xFFFF;
  return number == 0 ? 1 : number;
}

}  // namespace

std::string TempFile(std::string_view sFolder, std::string_view sPrefix, std::string_view sRole) {
  ErrorReport report("mTempFile", "TempFile");
  std::string folder(sFolder);
  if (folder.empty()) return {};
  if (folder.back() != kPathSeparatorChar) folder += kPathSeparator;
  const std::string prefix(sPrefix.substr(0, 3));
  IFileSystem& fs = FileSystem();
  unsigned number =
      sRole.empty() ? Environment().RandomNumber() & 0xFFFF : NumberFor(folder, sRole);
  for (unsigned tries = 0; tries < 0x10000; ++tries, number = (number + 1) & 0xFFFF) {
    if (number == 0) continue;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    const std::string path = folder + prefix + hex + ".tmp";
    // The derived-images page takes the name with ".htm" added: that name must be free too.
    if (Exists(fs, path + ".htm")) continue;
    const Status created = fs.CreateNewFile(path);
    if (created.ok()) return path;
    if (created.number() != kErrFileAlreadyExists) return {};
  }
  return {};
}

std::string GetOnlyFileName(std::string_view sPath) {
  const size_t slash = sPath.rfind(kPathSeparatorChar);
  if (slash == std::string_view::npos) return std::string(sPath);
  return std::string(sPath.substr(slash + 1));
}

std::string GetShortName(std::string_view sPath) {
  ErrorReport report("mTempFile", "GetShortName");
  if (sPath.empty()) return {};
  IFileSystem& fs = FileSystem();
  if (!Exists(fs, std::string(sPath))) return {};
  std::string absolute(sPath);
  if (absolute.front() != kPathSeparatorChar) {
    const std::string current = Environment().CurrentFolder();
    if (current.empty()) return {};
    absolute = current + kPathSeparatorChar + absolute;
  }
  absolute = std::filesystem::path(absolute).lexically_normal().string();
  while (absolute.size() > 1 && absolute.back() == kPathSeparatorChar)
    absolute.pop_back();
  return QuoteCommandLineArgument(absolute);
}

}  // namespace corvina::mTempFile
