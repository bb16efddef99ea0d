#include "mainwindow/ShowHelp.h"
#include "mainwindow/frmMain.h"
#include "platform/ISettingsStore.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/HostObjects.h"
#include "shared/SettingText.h"
#include "support/ErrorReport.h"

namespace corvina {

using namespace Globals;

void frmMain::Form_Activate() {
  ErrorReport report("frmMain", "Form_Activate");
  if (mWeb == nullptr) return;
  const std::string section = mWeb->Url();
  // The order of the reads is the order of the saved measures' use.
  const std::pair<const char*, float*> measures[] = {
      {"LEFT", &Left}, {"HEIGHT", &Height}, {"TOP", &Top}, {"WIDTH", &Width}};
  for (const auto& [key, measure] : measures) {
    const std::string text = ReadSetting(report, section, key, NumberText(*measure));
    *measure = report.Value(ParseNumber(text), *measure);
  }
}

void frmMain::Form_Unload() {
  ErrorReport report("frmMain", "Form_Unload");
  if (mWeb == nullptr) return;
  const std::string section = mWeb->Url();
  ISettingsStore& store = SettingsStore();
  const std::pair<const char*, std::string> values[] = {
      {"LEFT", NumberText(Left)},
      {"HEIGHT", NumberText(Height)},
      {"TOP", NumberText(Top)},
      {"WIDTH", NumberText(Width)},
      {"TITLE", suiParams["TITLE"].Value},
      {"USEKEYWORDS", BooleanText(suiParams["USEKEYWORDS"].Checked)},
      {"FAVORITES", BooleanText(suiParams["FAVORITES"].Checked)},
      {"DEFAULTPAGE", suiParams["DEFAULTPAGE"].Tag},
      {"VIEWRESULT", BooleanText(suiParams["VIEWRESULT"].Checked)},
      {"OUTPUT", suiParams["OUTPUT"].Value},
      {"CLOSELOG", BooleanText(suiParams["CLOSELOG"].Checked)},
  };
  for (const auto& [key, value] : values) {
    // A store that refuses one value refuses the rest as well: one report is enough.
    if (!report.Check(store.SaveSetting(kProductName, section, key, value))) break;
  }
}

void frmMain::C1Elastic1_ResizeChildren() {
  ErrorReport report("frmMain", "C1Elastic1_ResizeChildren");
  PushButtonsRight(suiButtons, "SPACE");
  ResizeParamsUI();
}

void frmMain::suiButtons_Click(Item& item) {
  ErrorReport report("frmMain", "suiButtons_Click");
  if (item.Key == "GENERATE") {
    Generate();
  } else if (item.Key == "HELP") {
    ShowHelp();
  } else if (item.Key == "CLOSE") {
    Unload();
  }
}

}  // namespace corvina
