#include <string>

#include "compiler/frmHHC.h"
#include "decompile/frmDecompile.h"
#include "platform/IFileSystem.h"
#include "platform/IMessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "support/ErrorReport.h"
#include "support/mTempFile.h"

namespace corvina {

void frmDecompile::Decompile() {
  ErrorReport report("frmDecompile", "Decompile");
  const std::string sFile = suiParams["FILE"].Value;
  const std::string sDir = suiParams["DIR"].Value;
  IFileSystem& fs = FileSystem();

  // A folder is no input file either.
  if (!fs.FileExists(sFile)) {
    // The message names the file, so that the user sees which name was not found.
    std::string sText = "Can not find input file";
    if (!sFile.empty()) sText += ": " + sFile;
    MessageBoxes().Show(MessageBoxRequest{std::move(sText), std::string(kProductName), Buttons::kOk,
                                          Icon::kCritical});
    Unload();
    return;
  }
  // Without its output folder the tool would be started in a folder that does not exist:
  // the failure is reported and nothing is run.
  if (!fs.FolderExists(sDir) && !report.Check(fs.CreateFolder(sDir))) {
    Unload();
    return;
  }
  Hide();
  // Loading the log window clears its decompile mode, so the mode is set after the load.
  frmHHC& log = Loaded<frmHHC>();
  log.Decompile = true;
  const std::string sShortDir = mTempFile::GetShortName(sDir);
  const std::string sShortFile = mTempFile::GetShortName(sFile);
  log.Execute(sDir, "-decompile " + sShortDir + " " + sShortFile);
  Forms<frmHHC>().Unload();
  Unload();
}

}  // namespace corvina
