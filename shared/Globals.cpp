#include "shared/Globals.h"

#include "platform/IFileSystem.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "platform/TextEncoding.h"
#include "shared/HostObjects.h"
#include "support/ErrorReport.h"

namespace corvina::Globals {

IHostApplication* HostApplication = nullptr;
std::string SiteFolder;

std::string URLtoPath(std::string_view sURL) {
  ErrorReport report("Globals", "URLtoPath");
  if (sURL.substr(0, 4) != "file") return std::string(sURL);
  // The "/" after "file://" stays: it is the POSIX counterpart of the drive letter.
  std::string path(sURL.size() > kFileUrlPrefix.size() ? sURL.substr(kFileUrlPrefix.size())
                                                       : std::string_view());
  for (char& c : path) {
    if (c == '/') c = kPathSeparatorChar;
  }
  return path;
}

std::string ConvertURL(std::string_view sURL) {
  ErrorReport report("Globals", "ConvertURL");
  if (HostApplication == nullptr) {
    report.Raise(Error{91, "Object variable or With block variable not set"});
    return {};
  }
  return report.Value(HostApplication->GetWebPageRelativeUrl(HostApplication->ActiveWeb(), sURL),
                      std::string());
}

bool WriteFile(std::string_view sPath, std::string sContent) {
  ErrorReport report("Globals", "WriteFile");
  // Converted where it stands, with the line end added: a large index is not copied again.
  Utf8ToAnsiInPlace(sContent);
  sContent += "\r\n";
  if (report.Check(FileSystem().WriteTextFile(sPath, sContent))) return true;
  // The file was never opened, so printing to it fails as well.
  report.Raise(Error{52, "Bad file name or number"});
  return false;
}

}  // namespace corvina::Globals
