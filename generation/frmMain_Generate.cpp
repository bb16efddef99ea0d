#include <string>

#include "compiler/frmHHC.h"
#include "mainwindow/frmMain.h"
#include "platform/IFileSystem.h"
#include "platform/IHelpViewer.h"
#include "platform/IMessageBoxes.h"
#include "platform/IWindows.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/ErrorReport.h"
#include "support/mCommonDialog.h"
#include "support/mTempFile.h"

namespace corvina {

using namespace Globals;
using namespace mTempFile;
using namespace mCommonDialog;

void frmMain::Generate() {
  ErrorReport report("frmMain", "Generate");
  IFileSystem& fs = FileSystem();
  if (mWeb == nullptr) {
    report.Raise(Error{91, "Object variable or With block variable not set"});
    return;
  }
  report.Check(mWeb->Refresh());
  CheckForUnsavedFiles();

  // Each early exit leaves the window open, so that the user can correct the parameters.
  bool bStop = !GetWorkShopPath();
  if (!bStop) {
    // The earlier output stays until the compiler replaces it with a complete file, so a
    // failed or stopped compile keeps it; a locked or read-only one is found as before.
    report.IgnoreErrors();
    const Status deleted = fs.CheckDeletable(suiParams["OUTPUT"].Value);
    if (deleted.number() == kErrPermissionDenied) {
      bStop = CheckForOpenedCHM(suiParams["TITLE"].Value);
    }
    report.ReportErrors();
  }
  if (!bStop) {
    mUseKeywords = suiParams["USEKEYWORDS"].Checked;
    bStop = (mUseKeywords && !BuildIndexFile()) || !BuildContentFile() || !BuildProjectFile();
  }
  if (!bStop) {
    Hide();
    frmHHC& hhc = Loaded<frmHHC>();
    hhc.FilesCount = static_cast<int32_t>(mWeb->AllFiles().size());
    const int32_t result = hhc.Execute(SiteFolder, GetOnlyFileName(mProjectFile));
    mCompileResult = result;
    // A compiler that failed without a numbered message (it crashed, say) must not pass for a
    // clean run: it is reported, and the log stays open as after errors. A log window closed
    // during the run ended the compiler itself; its exit code tells nothing new.
    if (result != 0 && result != -1 && hhc.IsLoaded()) {
      report.Raise(
          Error{result, "The help compiler failed with exit code " + std::to_string(result)});
    }
    // After errors or warnings the log stays open for the user to read.
    if (result == 0) {
      if (!suiParams["CLOSELOG"].Checked) Forms<frmHHC>().Unload();
      const std::string sOutput = suiParams["OUTPUT"].Value;
      if (suiParams["VIEWRESULT"].Checked && fs.FileExists(sOutput)) {
        // The viewer reports its own failures, as the help API does.
        IgnoreFailure(HelpViewer().HtmlHelp(hWnd(), sOutput, kHhDisplayToc,
                                            ConvertURL(suiParams["DEFAULTPAGE"].Tag)));
      }
    }
    Unload();
  }

  // The temporary files never outlive the run; a name that was never set simply fails.
  report.IgnoreErrors();
  for (const std::string* path : {&mProjectFile, &mContentsFile, &mIndexFile, &mDerivedPage}) {
    IgnoreFailure(fs.DeleteFile(*path, true));
  }
  report.ReportErrors();
  report.Check(mWeb->Refresh());
}

void frmMain::CheckForUnsavedFiles() {
  ErrorReport report("frmMain", "CheckForUnsavedFiles");
  IWebWindow* window = mWeb != nullptr ? mWeb->ActiveWebWindow() : nullptr;
  if (window == nullptr) return;
  const std::vector<IPageWindow*> pages = window->PageWindows();
  bool bModified = false;
  for (IPageWindow* page : pages) {
    if (page->IsModified()) {
      bModified = true;
      break;
    }
  }
  if (!bModified) return;
  const Answer answer = MessageBoxes().Show(
      MessageBoxRequest{"There are unsaved documents. Would you like to save it?", "Save documents",
                        Buttons::kYesNo, Icon::kQuestion});
  if (answer != Answer::kYes) return;
  for (IPageWindow* page : pages) {
    if (page->IsModified()) report.Check(page->Save(true));
  }
}

bool frmMain::CheckForOpenedCHM(std::string_view sTitle) {
  ErrorReport report("frmMain", "CheckForOpenedCHM");
  const Answer answer = MessageBoxes().Show(
      MessageBoxRequest{"Output file is locked. Possibly this file opened by HTMLHelp Viewer.\r\n"
                        "Can I try to close it?",
                        std::string(kProductName), Buttons::kYesNo, Icon::kInformation});
  if (answer == Answer::kNo) return true;
  const WindowHandle viewer = Windows().FindWindow("HH Parent", sTitle);
  if (viewer != kNoWindow) {
    report.Check(Windows().SendMessage(viewer, kWmClose, 0, 0));
    return false;
  }
  MessageBoxes().Show(MessageBoxRequest{
      "The appropriate HTMLHelp Viewer was not found.\r\nPlease, close it manualy. "
      "Compilation stopped",
      std::string(kProductName), Buttons::kOk, Icon::kCritical});
  return true;
}

void frmMain::GetOutputFile() {
  ErrorReport report("frmMain", "GetOutputFile");
  Item& output = suiParams["OUTPUT"];
  OpenFileNameArgs args;
  args.sFileName = output.Value;
  args.sFileTitle = "Output file";
  args.bFileMustExist = false;
  args.sFilter = "Microsoft HTML Help (*.CHM)|*.CHM|All(*.*)|*.*";
  args.lFilterIndex = 1;
  args.sDlgTitle = "Output file";
  args.sDefaultExt = "*.CHM";
  args.hWndOwner = hWnd();
  args.lSave = 1;
  if (VBGetOpenFileName(args)) {
    output.Value = args.sFileName;
    output.ToolTipText = output.Value;
  }
}

}  // namespace corvina
