#include "apps/cli/CorvinaApp.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "apps/cli/CommandLineOptions.h"
#include "apps/cli/ConsoleFormViews.h"
#include "apps/cli/ConsoleScreen.h"
#include "apps/cli/GnuDiagnostics.h"
#include "apps/cli/HHCConsoleView.h"
#include "apps/cli/LogSummaryMessageBoxes.h"
#include "apps/cli/RunOutcome.h"
#include "apps/cli/SettingsCommand.h"
#include "apps/cli/Setup.h"
#include "apps/cli/SiteSettingsStore.h"
#include "apps/cli/ToSite.h"
#include "compiler/frmHHC.h"
#include "host/Connect.h"
#include "platform/ConsoleDialogs.h"
#include "platform/ConsoleMessageBoxes.h"
#include "platform/ConsoleMessageLoop.h"
#include "platform/FlockNamedMutexes.h"
#include "platform/HhProgramHelpViewer.h"
#include "platform/Platform.h"
#include "platform/PosixEnvironment.h"
#include "platform/PosixFileSystem.h"
#include "platform/PosixProcessRunner.h"
#include "platform/Product.h"
#include "platform/RegistrySettingsStore.h"
#include "platform/RuntimeDirWindows.h"
#include "platform/SqliteRegistryStore.h"
#include "platform/Terminal.h"
#include "sitehost/FolderHostApplication.h"
#include "sitehost/SiteListing.h"
#include "support/CRegistry.h"
#include "support/ErrorReport.h"
#include "support/WorkshopKey.h"
#include "support/mTempFile.h"
#include "workshop/common/HhcMessages.h"
#include "workshop/hh/HhMessages.h"

namespace corvina::cli {
namespace {

// The log window's drawing: the tool's output as it comes, or only its numbered messages
// (--quiet), and those in the GNU form when asked (--diagnostics=gnu), their files named
// relative to `site` (empty: none of them names a site file).
ConsoleFormViews::HHCViewMaker LogViewMaker(const Options& options, const std::string& site,
                                            ConsoleScreen& screen) {
  HHCConsoleView::Filtering filtering;
  filtering.quiet = options.quiet;
  const bool gnu = options.diagnostics == "gnu";
  if (options.quiet || gnu) {
    std::shared_ptr<GnuDiagnostics> diagnostics;
    if (gnu) {
      std::vector<std::string> files;
      if (!site.empty()) {
        Result<sitehost::SiteListing> listing = sitehost::ListSiteFiles(site);
        if (listing.ok()) files = listing->files;
      }
      diagnostics = std::make_shared<GnuDiagnostics>(site, std::move(files));
    }
    filtering.filter = [quiet = options.quiet,
                        diagnostics](std::string_view line) -> std::optional<std::string> {
      std::optional<ToolMessage> message = ParseToolMessage(line);
      if (!message) return quiet ? std::nullopt : std::optional<std::string>(line);
      return diagnostics ? diagnostics->Format(*message) : std::string(line);
    };
  }
  return [filtering, &screen](frmHHC& log) -> std::unique_ptr<IFormView> {
    return std::make_unique<HHCConsoleView>(log, screen, filtering);
  };
}

// Stands for the viewer where the compiled file is not to be opened: it opens nothing.
class NoHelpViewer : public IHelpViewer {
 public:
  Status HtmlHelp(intptr_t, std::string_view, uint32_t, std::string_view) override {
    return Status::Ok();
  }
};

// A viewer is opened unasked only for a user who sits at a terminal with a display; a
// pipeline or a session without one gets it only with --open.
bool ViewerWanted(const Options& options) {
  if (options.open.has_value()) return *options.open;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool display = (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
  return display && IsTerminal(stdout);
}

// The real services of a console run, installed for its length.
class ConsolePlatform {
 public:
  // `site` puts a site's own settings file over the user's store.
  ConsolePlatform(const Options& options, IFormViews& views, ConsoleScreen& screen,
                  SiteSettingsStore::SiteLayer site = {})
      : boxes_(options.answers),
        summary_boxes_(boxes_),
        registry_(SqliteRegistryStoreOptions{SqliteRegistryStore::DefaultPath()}),
        settings_(registry_),
        site_settings_(settings_, std::move(site)),
        windows_(RuntimeDirWindows::DefaultFolder()),
        mutexes_(FlockNamedMutexes::DefaultFolder()),
        installed_(Platform{.message_boxes = &summary_boxes_,
                            .file_system = &files_,
                            .registry = &registry_,
                            .settings = &site_settings_,
                            .processes = &processes_,
                            .dialogs = &dialogs_,
                            .windows = &windows_,
                            .message_loop = &loop_,
                            .help_viewer = ViewerWanted(options)
                                               ? static_cast<IHelpViewer*>(&viewer_)
                                               : &no_viewer_,
                            .form_views = &views,
                            .mutexes = &mutexes_,
                            .environment = &environment_}) {
    // The tool runs in a process group of its own, so Ctrl-C reaches only us: closing the log
    // window ends the tool, and the generation then cleans up as after any failed compile.
    boxes_.before_show = [&screen] { screen.BeforeMessage(); };
    boxes_.show_trailers = options.verbose;
    // The runner yields after each read of the tool's output: what that read gave is written.
    loop_.on_events = [&screen] { screen.Flush(); };
    loop_.CatchInterrupts();
    loop_.on_interrupt = [this](int) {
      interrupted_ = true;
      Forms<frmHHC>().Unload();
    };
  }

  // The user stopped the run with Ctrl-C (or a SIGTERM).
  bool interrupted() const { return interrupted_; }
  // This user's own store, without the site's file.
  ISettingsStore& user_settings() { return settings_; }

 private:
  ConsoleMessageBoxes boxes_;
  LogSummaryMessageBoxes summary_boxes_;
  PosixFileSystem files_;
  SqliteRegistryStore registry_;
  RegistrySettingsStore settings_;
  SiteSettingsStore site_settings_;
  PosixProcessRunner processes_;
  ConsoleDialogs dialogs_;
  RuntimeDirWindows windows_;
  FlockNamedMutexes mutexes_;
  PosixEnvironment environment_;
  ConsoleMessageLoop loop_;
  HhProgramHelpViewer viewer_;
  NoHelpViewer no_viewer_;
  ScopedPlatform installed_;
  bool interrupted_ = false;
};

// The exit status of a compile or decompile, read from what the windows did.
int ExitStatus(const ConsoleFormViews& views, const ConsolePlatform& platform) {
  if (views.bad_input()) return kExitUsage;
  if (platform.interrupted()) return kExitStopped;
  const frmHHC* log = views.last_log();
  // The log window's started event replaces the log with this line; nothing else does.
  if (log == nullptr ||
      !log->txtOutput().starts_with("Starting Microsoft HTML Help Workshop compiler")) {
    return kExitStopped;
  }
  // A compiler that failed made no help file: that is never "compiled with warnings". hh
  // that failed or was killed extracted only part of the files.
  if (log->ExitCode != 0) return log->Decompile ? kExitWithMessages : kExitUsage;
  if (!frmHHC::FindMessages(log->txtOutput()).empty()) return kExitWithMessages;
  if (views.compile_result() != 0) return kExitWithMessages;
  return kExitClean;
}

SiteSettingsStore::SiteLayer SiteLayer(FolderHostApplication& host, const SiteSettingsFile& file,
                                       bool read_only) {
  SiteSettingsStore::SiteLayer layer{host.web()->Url(), {}, read_only};
  for (const auto& [key, setting] : file.values)
    layer.values[key] = setting.value;
  return layer;
}

// Reading a large site's pages takes a moment before the compiler's log begins: on a terminal
// that can redraw a line, the share read so far is shown in place and wiped when done.
void ShowReadingProgress(const Options& options, FolderWeb& web) {
  const char* term = std::getenv("TERM");
  if (options.quiet || !IsTerminal(stderr) || term == nullptr || std::string_view(term) == "dumb") {
    return;
  }
  web.set_read_progress([](size_t done, size_t total) {
    if (done < total) {
      std::fprintf(stderr, "\rReading the site: %zu %%", done * 100 / total);
    } else {
      std::fputs("\r\033[K", stderr);
    }
    std::fflush(stderr);
  });
}

int RunSettings(const Options& options) {
  Result<std::unique_ptr<FolderHostApplication>> host = OpenSite(options.site);
  if (!host.ok()) {
    PrintMessage(host.error().description);
    return kExitUsage;
  }
  const SiteSettingsFile site_file = ReadSiteSettingsFile(*(*host)->web());
  ConsoleScreen screen(stdout, stderr, ConsoleScreen::Progress::kOff);
  ConsoleFormViews views(options, nullptr);
  // Read-only: showing the settings saves none of them.
  ConsolePlatform platform(options, views, screen, SiteLayer(**host, site_file, true));
  return ShowSettings(options, **host, site_file, platform.user_settings());
}

int RunCompile(const Options& options) {
  Result<std::unique_ptr<FolderHostApplication>> host = OpenSite(options.site);
  if (!host.ok()) {
    PrintMessage(host.error().description);
    return kExitUsage;
  }
  // What the site host had to leave out is told once; the site still opens.
  for (const Error& problem : (*host)->web()->Problems()) {
    PrintMessage(problem.description);
  }
  // The compiler cannot make a help file of no page; that is said before anything is written.
  if (!(*host)->web()->HasPages()) {
    PrintMessage(options.site + " has no pages (.htm or .html files): there is nothing to compile");
    return kExitUsage;
  }
  // Our hhc reads the engine from its environment when no --engine is given; only this run's
  // children see it.
  if (options.engine) ::setenv(workshop::kHhcEngineVariable, options.engine->c_str(), 1);
  const SiteSettingsFile site_file = ReadSiteSettingsFile(*(*host)->web());
  ShowReadingProgress(options, *(*host)->web());
  ConsoleScreen screen(stdout, stderr, ConsoleScreen::ProgressFor(stderr));
  ConsoleFormViews views(options, LogViewMaker(options, options.site, screen));
  ConsolePlatform platform(options, views, screen, SiteLayer(**host, site_file, false));
  AdoptSiblingCompiler();
  const uint64_t reports_before = ErrorReport::ReportsShown();
  Connect addin;
  addin.AddinInstance_OnConnection(host->get(), Connect::kConnectModeExternal);
  addin.AddinInstance_OnDisconnection();
  int status = ExitStatus(views, platform);
  // A failure reported along the way (settings that could not be saved) spoils a clean run.
  if (status == kExitClean && ErrorReport::ReportsShown() != reports_before) {
    status = kExitWithMessages;
  }
  // The window's message names the Windows product; on the command line, say what to do.
  CRegistry registry;
  registry.Init(kHkeyCurrentUser);
  Result<bool> recorded = registry.KeyExists(kWorkshopKey);
  if (status == kExitStopped && recorded.ok() && !*recorded) {
    PrintMessage("run 'corvina setup' to record the folder of the help compiler");
  }
  return status;
}

// hh stopped before extracting anything: the input is no help file, or a folder could not
// be opened.
bool DecompileRefusedInput(const ConsoleFormViews& views) {
  namespace msg = workshop::hh_messages;
  const frmHHC* log = views.last_log();
  if (log == nullptr) return false;
  // The log's first line is the window's own, so each of hh's lines follows a line feed.
  for (const int number : {msg::kCannotOpenInput, msg::kNotAHelpFile, msg::kCannotOpenOutput}) {
    const std::string line = "\nHHC" + std::to_string(number) + ": Error:";
    if (log->txtOutput().find(line) != std::string::npos) return true;
  }
  return false;
}

int RunDecompile(const Options& options) {
  std::error_code ec;
  const bool folder_existed = std::filesystem::exists(options.folder, ec);
  int status = kExitStopped;
  {
    ConsoleScreen screen(stdout, stderr, ConsoleScreen::ProgressFor(stderr));
    ConsoleFormViews views(options, LogViewMaker(options, std::string(), screen));
    ConsolePlatform platform(options, views, screen);
    // hh would refuse every file of a folder that cannot be written in; this is said once.
    if (std::filesystem::is_directory(options.folder, ec)) {
      const std::string probe = mTempFile::TempFile(options.folder, kProductName);
      if (probe.empty()) {
        PrintMessage("cannot write in the output folder " + options.folder);
        return kExitUsage;
      }
      std::filesystem::remove(probe, ec);
    }
    Connect addin;
    addin.ShowDecompile();
    status = ExitStatus(views, platform);
    // The window's own check said "Can not find input file": nothing ran, the input was at
    // fault; so it was when hh refused the file. A run the user stopped stays stopped.
    if ((status == kExitStopped && !platform.interrupted()) || DecompileRefusedInput(views)) {
      status = kExitUsage;
    }
    if (status == kExitClean && options.to_site) {
      status = ConvertToSite(options.chm_file, options.folder);
    } else if (options.to_site) {
      PrintMessage(options.folder + " was not made a site: the decompilation was not clean");
    }
  }
  // A folder made for a run that wrote nothing into it goes again (remove takes only an
  // empty folder).
  if (status == kExitUsage && !folder_existed) std::filesystem::remove(options.folder, ec);
  return status;
}

}  // namespace

int RunCorvina(const std::vector<std::string>& args) {
  Result<Options> parsed = ParseOptions(args);
  if (!parsed.ok()) {
    PrintMessage(parsed.error().description, stderr, "\nTry 'corvina --help'.\n");
    return kExitUsage;
  }
  const Options& options = *parsed;
  switch (options.command) {
    case Command::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return kExitClean;
    case Command::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return kExitClean;
    case Command::kSetup: {
      ConsoleScreen screen(stdout, stderr, ConsoleScreen::Progress::kOff);
      ConsoleFormViews views(options, nullptr);
      ConsolePlatform platform(options, views, screen);
      return RunSetup(options.workshop);
    }
    case Command::kCompile:
      return RunCompile(options);
    case Command::kDecompile:
      return RunDecompile(options);
    case Command::kSettings:
      return RunSettings(options);
  }
  return kExitUsage;
}

}  // namespace corvina::cli
