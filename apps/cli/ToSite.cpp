#include "apps/cli/ToSite.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "apps/cli/RunOutcome.h"
#include "platform/IFileSystem.h"
#include "platform/IMessageBoxes.h"
#include "platform/IProcessRunner.h"
#include "platform/ISettingsStore.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/HostObjects.h"
#include "sitehost/FolderHostApplication.h"
#include "sitehost/NavigationOutline.h"
#include "sitehost/PageReader.h"
#include "sitehost/SiteAddress.h"
#include "sitehost/SitemapOutline.h"
#include "support/mTempFile.h"

namespace corvina::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::string_view kContentsKey = "Contents file";
constexpr size_t kMaxContentsBytes = 64u << 20;

void Tell(const std::string& text) {
  PrintMessage(text);
}

struct ToolRun {
  int exit_code = -1;
  std::string output;
};

// Runs one of our help tools to its end and collects what it printed.
ToolRun RunTool(const std::string& command_line) {
  ToolRun run;
  ProcessStart start = ProcessRunner().Start({.command_line = command_line});
  if (!start.child) return run;
  std::array<std::byte, 4096> buffer;
  while (true) {
    const ProcessRead read = start.child->Read(buffer, 1000ms);
    run.output.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
    if (read.end || read.failed) break;
  }
  std::optional<int32_t> code;
  while (!(code = start.child->Wait(1000ms))) {
  }
  run.exit_code = *code;
  return run;
}

// The project options the help file keeps ("Contents file", "Title", ...), as "hh -options"
// prints them; nullopt when they cannot be read.
std::optional<std::map<std::string, std::string>> ProjectOptions(const std::string& chm_file,
                                                                 std::string& why) {
  const std::string program = "hh" + std::string(kExecutableSuffix);
  const ToolRun run = RunTool("\"" + program + "\" -options " + mTempFile::GetShortName(chm_file));
  if (run.exit_code != 0) {
    const std::string first_line = run.output.substr(0, run.output.find('\n'));
    why = first_line.empty() ? "its project options could not be read" : first_line;
    return std::nullopt;
  }
  std::map<std::string, std::string> options;
  size_t at = 0;
  while (at < run.output.size()) {
    size_t end = run.output.find('\n', at);
    if (end == std::string::npos) end = run.output.size();
    const std::string_view line = std::string_view(run.output).substr(at, end - at);
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      options[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    at = end + 1;
  }
  return options;
}

// The help file's title and default topic become the new site's saved settings, so that
// compiling the folder keeps them. A topic the site's navigation does not list is left out,
// as the window would leave it.
void RecordSiteSettings(const fs::path& folder, const std::map<std::string, std::string>& options) {
  Result<std::unique_ptr<FolderHostApplication>> host = OpenSite(folder);
  if (!host.ok()) return;
  IWeb* web = (*host)->web();
  const std::string section = web->Url();
  auto save = [&section](std::string_view key, std::string_view value) {
    Status saved = SettingsStore().SaveSetting(kProductName, section, key, value);
    if (!saved.ok()) Tell("the help file's settings were not saved: " + saved.description());
  };
  const auto title = options.find("Title");
  if (title != options.end() && !title->second.empty()) save("TITLE", title->second);
  const auto topic = options.find("Default topic");
  if (topic == options.end() || topic->second.empty()) return;
  std::string page = topic->second;
  for (char& c : page) {
    if (c == '\\') c = kPathSeparatorChar;
  }
  while (page.starts_with('/'))
    page.erase(0, 1);
  for (INavigationNode* node : web->NavigationNodes()) {
    if (node->File() != nullptr && node->Url() == section + "/" + page) {
      save("DEFAULTPAGE", node->Url());
      return;
    }
  }
}

// The contents file inside the folder: a plain file below it, reached through no link.
std::optional<fs::path> ContentsFileInFolder(const fs::path& folder, std::string name) {
  for (char& c : name) {
    if (c == '\\') c = kPathSeparatorChar;
  }
  const std::optional<std::string> relative = sitehost::NormalizeRelativePath(name);
  if (!relative || relative->empty()) return std::nullopt;
  fs::path path = folder;
  std::error_code ec;
  for (const fs::path& part : fs::path(*relative)) {
    path /= part;
    if (fs::is_symlink(fs::symlink_status(path, ec))) return std::nullopt;
  }
  if (!fs::is_regular_file(fs::symlink_status(path, ec))) return std::nullopt;
  return path;
}

// Puts the text in place under the name in one step: written beside it first, then renamed.
Status WriteInPlace(const fs::path& folder, const fs::path& target, std::string_view text) {
  const std::string temp = mTempFile::TempFile(folder.string(), kProductName);
  if (temp.empty())
    return Error{kErrPermissionDenied, "cannot create a file in " + folder.string()};
  Status written = FileSystem().WriteTextFile(temp, text);
  std::error_code ec;
  if (written.ok()) {
    fs::rename(temp, target, ec);
    if (!ec) return Status::Ok();
    written = Error{kErrPermissionDenied, target.string() + ": " + ec.message()};
  }
  fs::remove(temp, ec);
  return written;
}

}  // namespace

int ConvertToSite(const std::string& chm_file, const std::string& folder_text) {
  const fs::path folder(folder_text);
  const std::string not_converted = folder_text + " was not made a site: ";
  std::string why;
  const std::optional<std::map<std::string, std::string>> options = ProjectOptions(chm_file, why);
  if (!options) {
    Tell(not_converted + why);
    return kExitWithMessages;
  }
  const auto contents_option = options->find(std::string(kContentsKey));
  const std::optional<std::string> name =
      contents_option != options->end() ? contents_option->second : std::string();
  if (name->empty()) {
    Tell(not_converted + "the help file names no contents file");
    return kExitWithMessages;
  }
  const std::optional<fs::path> contents = ContentsFileInFolder(folder, *name);
  if (!contents) {
    Tell(not_converted + "its contents file \"" + *name + "\" is not in the folder");
    return kExitWithMessages;
  }
  Result<std::string> bytes = sitehost::ReadFileHead(*contents, kMaxContentsBytes);
  if (!bytes.ok()) {
    Tell(not_converted + bytes.error().description);
    return kExitWithMessages;
  }
  const sitehost::SitemapOutline outline = sitehost::OutlineFromSitemap(*bytes, folder);
  if (outline.entries == 0) {
    Tell(not_converted + "its contents file \"" + *name + "\" holds no entries");
    return kExitWithMessages;
  }

  const fs::path target = folder / sitehost::kOutlineFileName;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec))) {
    const Answer answer = MessageBoxes().Show(
        MessageBoxRequest{target.string() + " already exists. Replace it?",
                          std::string(kProductName), Buttons::kYesNo, Icon::kQuestion});
    if (answer != Answer::kYes) {
      Tell(not_converted + target.string() + " was kept");
      return kExitStopped;
    }
  }
  if (Status written = WriteInPlace(folder, target, outline.text); !written.ok()) {
    Tell(not_converted + written.description());
    return kExitUsage;
  }
  RecordSiteSettings(folder, *options);
  for (const std::string& problem : outline.problems) {
    Tell(std::string(sitehost::kOutlineFileName) + ": " + problem);
  }
  std::printf("Wrote %s: %zu %s from the contents file %s.\n", target.c_str(), outline.entries,
              outline.entries == 1 ? "entry" : "entries", name->c_str());
  std::fflush(stdout);
  return outline.problems.empty() ? kExitClean : kExitWithMessages;
}

}  // namespace corvina::cli
