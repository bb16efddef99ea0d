#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Status.h"

namespace corvina::cli {

// The settings a site folder carries with it, in SITE/corvina.ini: the keys the per-user store
// keeps for the site, as "KEY = value" lines (optionally under "[Corvina]"). OUTPUT may be
// relative to the site folder and DEFAULTPAGE is a site-relative page path, so the file stays
// right in a copy or a clone of the folder.
inline constexpr std::string_view kSiteSettingsFileName = "corvina.ini";

// The keys of a site's settings that its file may hold, in the order they are written.
inline constexpr std::string_view kSiteSettingKeys[] = {
    "TITLE", "DEFAULTPAGE", "OUTPUT", "USEKEYWORDS", "FAVORITES", "VIEWRESULT", "CLOSELOG"};

// A key as the settings compare them: keys are case-insensitive, kept upper-case.
std::string SettingKey(std::string_view name);

struct SiteSetting {
  std::string value;  // as the store keeps it: OUTPUT absolute, DEFAULTPAGE a page address
  int line = 0;       // where the file gave it
};

struct SiteSettingsFile {
  std::filesystem::path path;
  std::map<std::string, SiteSetting> values;  // by upper-case key
  // Lines that were left out, each "PATH:LINE: what is wrong", in the order of the file.
  std::vector<std::string> warnings;
};

// Where a site's addresses and files are, to turn the file's relative values into the store's.
struct SiteLocation {
  std::filesystem::path folder;  // absolute
  std::string url;               // the site's address, "file:///..."
};

// Reads the site's settings file; an absent file gives no values and no warnings. A line that
// is not "KEY = value", an unknown key and a value of the wrong kind are warned about and left
// out; the rest of the file still counts.
SiteSettingsFile ReadSiteSettings(const SiteLocation& site);
SiteSettingsFile ParseSiteSettings(std::string_view text, const std::filesystem::path& path,
                                   const SiteLocation& site);

// The file's form of a value the store keeps: DEFAULTPAGE becomes site-relative, and OUTPUT
// too when it lies in the site or at most two folders above it ("../build/help.chm").
std::string SiteFileValue(std::string_view key, const std::string& value, const SiteLocation& site);

// The settings file's text for values as the store keeps them (key, value), in that order,
// each written as SiteFileValue gives it. Fails when a value cannot be
// written so that it reads back the same.
Result<std::string> SiteSettingsText(const std::vector<std::pair<std::string, std::string>>& values,
                                     const SiteLocation& site);

// Replaces SITE/corvina.ini with the text as one step: a hidden temporary file beside it,
// flushed to disk, then renamed over it. On failure the old file is left as it was.
Status WriteSiteSettingsFile(const std::filesystem::path& site_folder, std::string_view text);

}  // namespace corvina::cli
