#include "apps/cli/SettingsCommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apps/cli/ConsoleFormViews.h"
#include "apps/cli/RunOutcome.h"
#include "mainwindow/frmMain.h"
#include "platform/ISettingsStore.h"
#include "platform/Product.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "shared/SettingText.h"

namespace corvina::cli {
namespace {

// Whether the command line gave the setting.
bool GivenOnCommandLine(const Options& options, std::string_view key) {
  if (key == "TITLE") return options.title.has_value();
  if (key == "DEFAULTPAGE") return options.default_page.has_value();
  if (key == "OUTPUT") return options.output.has_value();
  if (key == "USEKEYWORDS") return options.index.has_value();
  if (key == "FAVORITES") return options.favorites.has_value();
  if (key == "VIEWRESULT") return options.open.has_value();
  if (key == "CLOSELOG") return options.keep_log.has_value();
  return false;
}

// A store answers a missing key with the default it is given: two different defaults both
// coming back means the key is missing.
Result<bool> StoreHas(ISettingsStore& store, std::string_view section, std::string_view key) {
  Result<std::string> first = store.GetSetting(kProductName, section, key, "0");
  if (!first.ok()) return first.error();
  if (*first != "0") return true;
  Result<std::string> second = store.GetSetting(kProductName, section, key, "1");
  if (!second.ok()) return second.error();
  return *second != "1";
}

// The panel's values, as the store keeps them, in the order of the file.
std::vector<std::pair<std::string, std::string>> PanelValues(frmMain& form) {
  ItemPanel& panel = form.suiParams;
  std::vector<std::pair<std::string, std::string>> values;
  for (std::string_view key : kSiteSettingKeys) {
    std::string value;
    if (key == "TITLE" || key == "OUTPUT") {
      value = panel[std::string(key)].Value;
    } else if (key == "DEFAULTPAGE") {
      value = panel["DEFAULTPAGE"].Tag;
    } else {
      value = BooleanText(panel[std::string(key)].Checked);
    }
    values.emplace_back(key, std::move(value));
  }
  return values;
}

}  // namespace

SiteLocation LocationOf(IWeb& web) {
  const std::string url = web.Url();
  return SiteLocation{Globals::URLtoPath(url), url};
}

SiteSettingsFile ReadSiteSettingsFile(IWeb& web) {
  SiteSettingsFile file = ReadSiteSettings(LocationOf(web));
  for (const std::string& warning : file.warnings)
    PrintMessage(warning);
  return file;
}

int ShowSettings(const Options& options, IHostApplication& host, const SiteSettingsFile& file,
                 ISettingsStore& user_store) {
  IWeb& web = *host.ActiveWeb();
  const SiteLocation site = LocationOf(web);
  if (options.reset) {
    if (Status cleared = user_store.DeleteSection(kProductName, site.url); !cleared.ok()) {
      PrintMessage("could not clear the saved settings: " + cleared.description());
      return kExitStopped;
    }
    PrintMessage("cleared the settings this user's store kept for " + site.folder.string());
  }

  Globals::HostApplication = &host;
  frmMain& form = Loaded<frmMain>();
  // The output's folder need not exist yet: a compile says so when it does not.
  const bool built = form.BuildUI() && ApplyOptions(form, options, false);
  const std::vector<std::pair<std::string, std::string>> values = PanelValues(form);
  Forms<frmMain>().Unload();
  Globals::HostApplication = nullptr;
  if (!built) return kExitUsage;

  // Each line: the value as the site's file writes it, then where it came from.
  std::vector<std::pair<std::string, std::string>> lines;
  size_t width = 0;
  for (const auto& [key, value] : values) {
    std::string source;
    if (GivenOnCommandLine(options, key)) {
      source = "command line";
    } else if (auto it = file.values.find(key); it != file.values.end()) {
      source = std::string(kSiteSettingsFileName) + " line " + std::to_string(it->second.line);
    } else {
      Result<bool> saved = StoreHas(user_store, site.url, key);
      if (!saved.ok()) {
        PrintMessage("could not read the saved settings: " + saved.error().description);
        return kExitStopped;
      }
      source = *saved ? "user store" : "default";
    }
    std::string shown = key + " = " + SiteFileValue(key, value, site);
    width = std::max(width, shown.size());
    lines.emplace_back(std::move(shown), std::move(source));
  }
  for (const auto& [shown, source] : lines)
    std::printf("%-*s  (%s)\n", static_cast<int>(width), shown.c_str(), source.c_str());

  if (options.save_to_site) {
    Result<std::string> text = SiteSettingsText(values, site);
    if (!text.ok()) {
      PrintMessage(file.path.string() + " not written: " + text.error().description);
      return kExitUsage;
    }
    if (Status written = WriteSiteSettingsFile(site.folder, *text); !written.ok()) {
      PrintMessage(file.path.string() + " not written: " + written.description());
      return kExitStopped;
    }
    PrintMessage("wrote " + file.path.string());
  }
  return kExitClean;
}

}  // namespace corvina::cli
