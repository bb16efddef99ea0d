#include <algorithm>
#include <string>

#include "mainwindow/frmMain.h"
#include "platform/IMessageBoxes.h"
#include "platform/ISettingsStore.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "shared/SettingText.h"
#include "support/ErrorReport.h"

namespace corvina {

using namespace Globals;

bool frmMain::BuildUI() {
  ErrorReport report("frmMain", "BuildUI");
  IWeb* web = HostApplication != nullptr ? HostApplication->ActiveWeb() : nullptr;
  if (web == nullptr) {
    MessageBoxes().Show(MessageBoxRequest{"Open site first", std::string(kProductName),
                                          Buttons::kOk, Icon::kInformation});
    return false;
  }
  mWeb = web;
  SiteFolder = URLtoPath(mWeb->Location());
  const std::string section = mWeb->Url();

  suiParams["SEP0"].Height = 30;

  // The home page's navigation label, else the last part of the site's address.
  INavigationNode* home = mWeb->HomeNavigationNode();
  const std::string sDefaultTitle = home != nullptr ? home->Label() : GetSiteDirectory(section);
  suiParams["TITLE"].Value = ReadSetting(report, section, "TITLE", sDefaultTitle);

  suiParams["SEP1"].Height = 30;

  Item& pages = suiParams["DEFAULTPAGE"];
  pages.Entries.clear();
  std::string sWanted = ReadSetting(report, section, "DEFAULTPAGE", "");
  for (INavigationNode* node : mWeb->NavigationNodes()) {
    if (node->File() == nullptr) continue;
    const std::string url = node->Url();
    const std::string label = node->Label();
    if (url == sWanted || sWanted.empty()) {
      sWanted = url;
      pages.Value = label;
      pages.Tag = url;
    }
    pages.AddEntry(url, label, ItemKind::kLabel);
  }

  suiParams["SEP2"].Height = 30;

  std::string sFileName = suiParams["TITLE"].Value;
  std::replace(sFileName.begin(), sFileName.end(), '/', '_');
  std::replace(sFileName.begin(), sFileName.end(), ':', '_');
  const std::string sDefaultOutput = SiteFolder + std::string(kPathSeparator) + sFileName + ".CHM";
  Item& output = suiParams["OUTPUT"];
  output.Value = ReadSetting(report, section, "OUTPUT", sDefaultOutput);
  output.ToolTipText = output.Value;

  suiParams["SEP3"].Height = 30;

  const std::pair<const char*, const char*> boxes[] = {{"USEKEYWORDS", "True"},
                                                       {"FAVORITES", "True"},
                                                       {"VIEWRESULT", "True"},
                                                       {"CLOSELOG", "False"}};
  for (const auto& [key, fallback] : boxes) {
    const std::string text = ReadSetting(report, section, key, fallback);
    suiParams[key].Checked = report.Value(ParseBoolean(text), false);
  }

  suiParams["VERSION"].Caption =
      "Version: " + std::string(" (") + std::to_string(CORVINA_VERSION_MAJOR) + "." +
      std::to_string(CORVINA_VERSION_MINOR) + "." + std::to_string(CORVINA_VERSION_PATCH) + ")";
  return true;
}

void frmMain::suiParams_AfterDropDown(Item& item) {
  ErrorReport report("frmMain", "suiParams_AfterDropDown");
  if (item.Key != "DEFAULTPAGE") return;
  for (const ItemEntry& entry : item.Entries) {
    if (entry.Caption == item.Value) {
      item.Tag = entry.Key;
      return;
    }
  }
}

void frmMain::suiParams_Browse(Item& item) {
  ErrorReport report("frmMain", "suiParams_Browse");
  if (item.Key == "OUTPUT") GetOutputFile();
}

void frmMain::ResizeParamsUI() {
  ErrorReport report("frmMain", "ResizeParamsUI");
  // A panel narrower than the margins gives no negative widths.
  const float width = suiParams.Width;
  suiParams["TITLE"].Width = std::max(0.0f, width - 780);
  suiParams["DEFAULTPAGE"].Width = std::max(0.0f, width - 150);
  suiParams["OUTPUT"].Width = std::max(0.0f, width - 315);
}

std::string frmMain::GetSiteDirectory(std::string_view sURL) {
  ErrorReport report("frmMain", "GetSiteDirectory");
  const size_t slash = sURL.rfind('/');
  if (slash == std::string_view::npos) return std::string(sURL);
  return std::string(sURL.substr(slash + 1));
}

std::string frmMain::ReadSetting(ErrorReport& report, std::string_view sSection,
                                 std::string_view sKey, std::string_view sDefault) {
  return report.Value(SettingsStore().GetSetting(kProductName, sSection, sKey, sDefault),
                      std::string(sDefault));
}

}  // namespace corvina
