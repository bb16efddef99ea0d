#include <string>

#include "decompile/frmDecompile.h"
#include "support/ErrorReport.h"
#include "support/mCommonDialog.h"

namespace corvina {

void frmDecompile::BrowseFile() {
  ErrorReport report("frmDecompile", "BrowseFile");
  Item& item = suiParams["FILE"];
  mCommonDialog::OpenFileNameArgs args;
  args.sFileName = item.Value;
  args.sFileTitle = "Input file";
  args.bFileMustExist = true;
  args.bMultiSelect = false;
  args.bReadOnly = false;
  args.bHideReadOnly = false;
  args.sFilter = "Microsoft HTML Help (*.CHM)|*.CHM|All(*.*)|*.*";
  args.lFilterIndex = 1;
  args.sInitDir = "";
  args.sDlgTitle = "Select input file";
  args.sDefaultExt = "*.CHM";
  args.hWndOwner = hWnd();
  args.lFlags = 0;
  args.lSave = 0;
  if (mCommonDialog::VBGetOpenFileName(args)) {
    item.Value = args.sFileName;
    item.ToolTipText = item.Value;
  }
}

void frmDecompile::BrowseDirectory() {
  ErrorReport report("frmDecompile", "BrowseDirectory");
  const std::string sFolder = mCommonDialog::BrowseFolder(hWnd(), "Select output directory");
  if (!sFolder.empty()) {
    Item& item = suiParams["DIR"];
    item.Value = sFolder;
    item.ToolTipText = item.Value;
  }
}

}  // namespace corvina
