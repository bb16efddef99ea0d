#include "mainwindow/ShowHelp.h"

#include "mainwindow/frmMain.h"
#include "platform/IEnvironment.h"
#include "platform/IHelpViewer.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "support/ErrorReport.h"

namespace corvina::Globals {

void ShowHelp() {
  ErrorReport report("Globals", "ShowHelp");
  const int32_t owner = Loaded<frmMain>().hWnd();
  const std::string file =
      Environment().OwnModuleFolder() + std::string(kPathSeparator) + "Corvina.CHM";
  // A missing help file is the viewer's to report.
  IgnoreFailure(HelpViewer().HtmlHelp(owner, file, kHhDisplayTopic, "index.html"));
}

}  // namespace corvina::Globals
