#include <string>
#include <utility>

#include "generation/SitemapText.h"
#include "mainwindow/frmMain.h"
#include "platform/IFileSystem.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/ErrorReport.h"
#include "support/mTempFile.h"

namespace corvina {

using namespace Globals;
using namespace mTempFile;
namespace {

// The window named "default": contents and index by bare file name, the window's properties
// (tri-pane, search, title change, advanced search, and the Favorites tab when wanted) and its
// toolbar buttons (hide/show, back, options, print).
std::string WindowDefinition(std::string_view sContents, std::string_view sIndex, bool bIndex,
                             bool bFavorites) {
  std::string line = "default=,\"";
  line += GetOnlyFileName(sContents);
  line += "\",";
  if (bIndex) {
    line += "\"";
    line += GetOnlyFileName(sIndex);
    line += "\",,,,,,,";
  } else {
    line += ",,,,,,,";
  }
  line += bFavorites ? "0x23420" : "0x22420";
  line += ",,0x3006,,,,,,,,0";
  return line;
}

}  // namespace

bool frmMain::BuildProjectFile() {
  ErrorReport report("frmMain", "BuildProjectFile");
  const std::string sCompiled = suiParams["OUTPUT"].Value;
  std::string s;
  s += "[OPTIONS]\r\n";
  s += "Auto Index = Yes\r\n";
  s += "Binary Index = Yes\r\n";
  s += "Binary TOC = Yes\r\n";
  s += "Compatibility = 1.1 Or later\r\n";
  s += "Compiled file=" + ProjectValue(sCompiled) + "\r\n";
  s += "Contents file=" + mContentsFile + "\r\n";
  s += "Default window=default\r\n";
  s += "Default topic=" + ProjectValue(ConvertURL(suiParams["DEFAULTPAGE"].Tag)) + "\r\n";
  s += "Display compile progress=Yes\r\n";
  s += "Full-text search=Yes\r\n";
  s += "Language=0x409 English (United States)\r\n";
  s += "Title=" + ProjectValue(suiParams["TITLE"].Value) + "\r\n";
  if (mUseKeywords) s += "Index File = " + mIndexFile + "\r\n";
  s += "\r\n[WINDOWS]\r\n\r\n";
  s += WindowDefinition(mContentsFile, mIndexFile, mUseKeywords, suiParams["FAVORITES"].Checked);
  s += "\r\n\r\n[FILES]";

  const std::string sCompiledReference = ConvertURL(sCompiled);
  if (mWeb != nullptr) {
    const std::string sLocation = mWeb->Location();
    for (IWebFile* file : mWeb->AllFiles()) {
      const std::string extension = AsciiLowerCase(file->Extension());
      if (extension != "htm" && extension != "html") continue;
      const std::string relative = report.Value(
          HostApplication != nullptr ? HostApplication->MakeRelativeUrl(sLocation, file->Url())
                                     : Result<std::string>(Error{91, "Object variable not set"}),
          std::string());
      const std::string reference = ConvertURL(relative);
      if (reference != sCompiledReference) s += "\r\n" + ProjectValue(reference);
    }
  } else {
    report.Raise(Error{91, "Object variable or With block variable not set"});
  }

  if (!LinksToDerived()) return false;
  s += "\r\n" + mDerivedPage;

  mProjectFile = TempFile(SiteFolder, "Corvina", "project");
  if (FitsAnsi(s)) return WriteFile(mProjectFile, std::move(s));
  // A project naming what Windows-1252 cannot hold (a folder or a title in Chinese, say) is
  // written as UTF-8 after a byte-order mark, which our hhc reads, so that the names it gives
  // are the names on disk.
  std::string text = "\xEF\xBB\xBF";
  text += s;
  text += "\r\n";
  return report.Check(FileSystem().WriteTextFile(mProjectFile, text));
}

bool frmMain::LinksToDerived() {
  ErrorReport report("frmMain", "LinksToDerived");
  IFileSystem& fs = FileSystem();
  mDerivedPage = TempFile(SiteFolder, "Corvina", "derived");
  if (mDerivedPage.empty()) {
    // Without a reserved name the page would land outside the site folder.
    report.Raise(Error{kErrPathNotFound, "Path not found: " + SiteFolder});
    return false;
  }
  // The empty file only reserved the name; the page takes that name with ".htm" added.
  report.IgnoreErrors();
  IgnoreFailure(fs.DeleteFile(mDerivedPage, false));
  report.ReportErrors();
  mDerivedPage += ".htm";

  std::string page = "<HTML><HEAD><TITLE></TITLE></HEAD><BODY>\r\n";
  // A site without a "_derived" folder gets a page with only its head and closing lines.
  if (mWeb != nullptr && mWeb->RootFolder() != nullptr) {
    std::string folder = mWeb->RootFolder()->Url();
    folder += kPathSeparator;
    folder += "_derived";
    Result<std::vector<std::string>> files = fs.ListFiles(folder);
    if (files.ok()) {
      for (const std::string& name : *files) {
        page += "<img src=\"_derived/" + SitemapValue(name) + "\">\r\n";
      }
    }
  }
  page += "</BODY></HTML>\r\n";
  return report.Check(fs.WriteTextFile(mDerivedPage, Utf8ToAnsi(page)));
}

}  // namespace corvina
