#include "mainwindow/frmMain.h"

namespace corvina {
namespace {

// Design size of the client area, twips.
constexpr float kDesignWidth = 6105;
constexpr float kDesignHeight = 3240;

std::vector<ItemTemplate> ParamsTemplate() {
  return {
      {"SEP0", ItemKind::kSeparator, "", 2, 0},
      {"TITLE", ItemKind::kTextField, "Title:", 21, 100},
      {"SEP1", ItemKind::kSeparator, "", 2, 0},
      {"DEFAULTPAGE", ItemKind::kDropDown, "Default page:", 21, 100},
      {"SEP2", ItemKind::kSeparator, "", 2, 0},
      {"OUTPUT", ItemKind::kBrowseField, "Output file:", 21, 100},
      {"SEP3", ItemKind::kSeparator, "", 2, 0},
      {"OPTIONS", ItemKind::kHeading, "Options", 17, 0},
      {"USEKEYWORDS", ItemKind::kCheckBox, "Generate index by keywords", 17, 157},
      {"FAVORITES", ItemKind::kCheckBox, "Favorites tab", 17, 83},
      {"VIEWRESULT", ItemKind::kCheckBox, "Open CHM after compilation", 17, 153},
      {"CLOSELOG", ItemKind::kCheckBox, "Do not close compilation log on success", 17, 206},
      {"VERSION", ItemKind::kLabel, "Version:", 16, 43},
  };
}

std::vector<ItemTemplate> ButtonsTemplate() {
  return {
      {"SPACE", ItemKind::kSpacer, "", 0, 100},
      {"GENERATE", ItemKind::kButton, "Generate", 22, 78, "Launch Help Workshop to compile help",
       "restore"},
      {"HELP", ItemKind::kButton, "Help", 22, 50, "Show CorvinaStudio help file", "help"},
      {"CLOSE", ItemKind::kButton, "Close", 22, 55, "Close CorvinaStudio window", "close"},
  };
}

}  // namespace

frmMain::frmMain()
    : Form("frmMain", "Corvina", kDesignWidth, kDesignHeight),
      suiParams(ParamsTemplate()),
      suiButtons(ButtonsTemplate()) {
  suiParams.Width = 6015;
  suiParams.Height = 2670;
  suiButtons.Width = 6015;
  suiButtons.Height = 435;
  suiParams.AfterDropDown = [this](Item& item) { suiParams_AfterDropDown(item); };
  suiParams.Browse = [this](Item& item) { suiParams_Browse(item); };
  suiButtons.Click = [this](Item& item) { suiButtons_Click(item); };
}

frmMain::~frmMain() = default;

}  // namespace corvina
