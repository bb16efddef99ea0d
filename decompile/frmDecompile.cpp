#include "decompile/frmDecompile.h"

#include <algorithm>
#include <string>
#include <utility>

#include "mainwindow/ShowHelp.h"
#include "platform/ISettingsStore.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/SettingText.h"
#include "support/ErrorReport.h"

namespace corvina {
namespace {

// Design size of the client area, twips.
constexpr float kDesignWidth = 4890;
constexpr float kDesignHeight = 1665;
constexpr std::string_view kSection = "Decompile";

std::vector<ItemTemplate> ParamsTemplate() {
  return {
      {"", ItemKind::kSeparator, "", 2, 0},
      {"FILE", ItemKind::kBrowseField, "File name:", 21, 100},
      {"", ItemKind::kSeparator, "", 2, 0},
      {"DIR", ItemKind::kBrowseField, "Output directory:", 21, 100},
      {"", ItemKind::kSeparator, "", 2, 0},
      {"TOFPSITE", ItemKind::kCheckBox, "Convert to FrontPage site", 17, 144, "", "", false},
  };
}

std::vector<ItemTemplate> ButtonsTemplate() {
  return {
      {"SPACE", ItemKind::kSpacer, "", 0, 100},
      {"DECOMPILE", ItemKind::kButton, "Decompile", 22, 84, "", "export"},
      {"HELP", ItemKind::kButton, "Help", 22, 50, "", "help"},
      {"CLOSE", ItemKind::kButton, "Close", 22, 55, "", "close"},
  };
}

std::string ReadSetting(ErrorReport& report, std::string_view sKey, std::string_view sDefault) {
  return report.Value(SettingsStore().GetSetting(kProductName, kSection, sKey, sDefault),
                      std::string(sDefault));
}

}  // namespace

frmDecompile::frmDecompile()
    : Form("frmDecompile", "Decompile", kDesignWidth, kDesignHeight),
      suiParams(ParamsTemplate()),
      suiButtons(ButtonsTemplate()) {
  suiParams.Width = 4800;
  suiParams.Height = 1095;
  suiButtons.Width = 4800;
  suiButtons.Height = 435;
  suiParams.Browse = [this](Item& item) { suiParams_Browse(item); };
  suiButtons.Click = [this](Item& item) { suiButtons_Click(item); };
}

frmDecompile::~frmDecompile() = default;

void frmDecompile::Form_Load() {
  ErrorReport report("frmDecompile", "Form_Load");
  const std::pair<const char*, float*> measures[] = {
      {"LEFT", &Left}, {"HEIGHT", &Height}, {"TOP", &Top}, {"WIDTH", &Width}};
  for (const auto& [key, measure] : measures) {
    const std::string text = ReadSetting(report, key, NumberText(*measure));
    *measure = report.Value(ParseNumber(text), *measure);
  }
  for (const char* key : {"FILE", "DIR"}) {
    Item& item = suiParams[key];
    item.Value = ReadSetting(report, key, "");
    item.ToolTipText = item.Value;
  }
  Item& toFpSite = suiParams["TOFPSITE"];
  toFpSite.Checked =
      report.Value(ParseBoolean(ReadSetting(report, "TOFPSITE", "1")), toFpSite.Checked);
}

void frmDecompile::Form_Unload() {
  ErrorReport report("frmDecompile", "Form_Unload");
  ISettingsStore& store = SettingsStore();
  const std::pair<const char*, std::string> values[] = {
      {"LEFT", NumberText(Left)},
      {"HEIGHT", NumberText(Height)},
      {"TOP", NumberText(Top)},
      {"WIDTH", NumberText(Width)},
      {"FILE", suiParams["FILE"].Value},
      {"DIR", suiParams["DIR"].Value},
      {"TOFPSITE", suiParams["TOFPSITE"].Checked ? "1" : "0"},
  };
  for (const auto& [key, value] : values) {
    report.Check(store.SaveSetting(kProductName, kSection, key, value));
  }
}

void frmDecompile::suiButtons_Click(Item& item) {
  ErrorReport report("frmDecompile", "suiButtons_Click");
  if (item.Key == "DECOMPILE") {
    Decompile();
  } else if (item.Key == "HELP") {
    Globals::ShowHelp();
  } else if (item.Key == "CLOSE") {
    Unload();
  }
}

void frmDecompile::suiParams_Browse(Item& item) {
  ErrorReport report("frmDecompile", "suiParams_Browse");
  if (item.Key == "FILE") {
    BrowseFile();
  } else if (item.Key == "DIR") {
    BrowseDirectory();
  }
}

void frmDecompile::C1Elastic1_ResizeChildren() {
  ErrorReport report("frmDecompile", "C1Elastic1_ResizeChildren");
  PushButtonsRight(suiButtons, "SPACE");
  // A panel narrower than the margins gives no negative widths.
  const float width = suiParams.Width;
  suiParams["FILE"].Width = std::max(0.0f, width - 675);
  suiParams["DIR"].Width = std::max(0.0f, width - 150);
  suiParams["TOFPSITE"].Width = std::max(0.0f, width - 1200);
}

}  // namespace corvina
