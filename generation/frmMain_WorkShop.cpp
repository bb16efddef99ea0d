#include <string>

#include "mainwindow/frmMain.h"
#include "platform/IFileSystem.h"
#include "platform/IMessageBoxes.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "support/CRegistry.h"
#include "support/ErrorReport.h"
#include "support/WorkshopKey.h"
#include "support/mCommonDialog.h"

namespace corvina {
namespace {

// The compiler's file name: "hhc" with the platform's program suffix.
std::string CompilerName() {
  return "hhc" + std::string(kExecutableSuffix);
}

void Tell(std::string_view sText) {
  MessageBoxes().Show(
      MessageBoxRequest{std::string(sText), std::string(kProductName), Buttons::kOk, Icon::kNone});
}

}  // namespace

bool frmMain::GetWorkShopPath() {
  ErrorReport report("frmMain", "GetWorkShopPath");
  CRegistry reg;
  reg.Init(kHkeyCurrentUser);
  auto installed = reg.KeyExists(kWorkshopKey);
  if (!installed.ok()) {
    // The registry itself failed (a damaged or locked store): that is what the user must
    // hear, not that the Workshop is missing, and a located compiler could not be recorded.
    report.Raise(installed.error());
    return false;
  }
  if (!*installed) {
    Tell("Microsoft HTML Help WorkShop must be installed");
    return false;
  }
  std::string sPath =
      report.Value(reg.GetValue(kWorkshopKey, kInstallDir, RegValue("")), RegValue("")).AsText();
  if (!sPath.empty()) {
    sPath += std::string(kPathSeparator) + CompilerName();
    // A compiler that may not be run is not there: the run would fail only after the old
    // output was deleted.
    if (FileSystem().FileRunnable(sPath)) return true;
  }
  return FindWorkShopLocation();
}

bool frmMain::FindWorkShopLocation() {
  ErrorReport report("frmMain", "FindWorkShopLocation");
  const std::string sCompiler = CompilerName();
  mCommonDialog::OpenFileNameArgs args;
  args.sFileName = sCompiler;
  args.sFileTitle = "Microsoft HTML Help Workshop compiler";
  args.bFileMustExist = true;
  // Programs here carry no extension, so the filter shows every file.
  args.sFilter = "Applications (*)|*";
  args.lFilterIndex = 1;
  args.sDlgTitle = "Select Microsoft HTML Help WorkShop " + sCompiler + " file";
  args.sDefaultExt = std::string(kExecutableSuffix);
  args.hWndOwner = hWnd();
  if (!mCommonDialog::VBGetOpenFileName(args)) return false;

  const size_t slash = args.sFileName.find_last_of(kPathSeparatorChar);
  const std::string sName =
      slash == std::string::npos ? args.sFileName : args.sFileName.substr(slash + 1);
  if (sName != sCompiler) {
    Tell("Wrong file name!");
    return false;
  }
  const Answer answer = MessageBoxes().Show(MessageBoxRequest{
      "Save Location of Microsoft HTML Help Workshop " + sCompiler + " file for future use?",
      std::string(kProductName), Buttons::kYesNo, Icon::kExclamation});
  if (answer == Answer::kYes) {
    std::string sFolder = slash == std::string::npos ? "" : args.sFileName.substr(0, slash);
    // A compiler in the root folder: its folder is "/", not the empty text.
    if (sFolder.empty() && slash == 0) sFolder = std::string(kPathSeparator);
    CRegistry reg;
    reg.Init(kHkeyCurrentUser);
    report.Check(reg.SetValue(kWorkshopKey, kInstallDir, RegValue(sFolder), 1).status());
  }
  return true;
}

}  // namespace corvina
