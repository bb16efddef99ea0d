#pragma once

#include "apps/cli/CommandLineOptions.h"
#include "apps/cli/SiteSettingsFile.h"

namespace corvina {
class IHostApplication;
class ISettingsStore;
class IWeb;
}  // namespace corvina

namespace corvina::cli {

// Where the site is, read from its address.
SiteLocation LocationOf(IWeb& web);

// Reads the site's settings file and writes what it had to leave out to stderr.
SiteSettingsFile ReadSiteSettingsFile(IWeb& web);

// `corvina settings SITE`: clears the site's section of the user's store first when asked
// (--reset), prints each effective setting and where it comes from (command line, the site's
// file, the user's store, the default), and writes them to the site's file when asked
// (--save-to-site). The platform must be installed with the site's file over `user_store`,
// read-only, so that the main window loaded here saves nothing.
int ShowSettings(const Options& options, IHostApplication& host, const SiteSettingsFile& file,
                 ISettingsStore& user_store);

}  // namespace corvina::cli
