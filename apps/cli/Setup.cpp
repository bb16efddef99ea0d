#include "apps/cli/Setup.h"

#include <cstdio>
#include <filesystem>

#include "apps/cli/RunOutcome.h"
#include "platform/OwnExecutable.h"
#include "platform/PathConventions.h"
#include "platform/Product.h"
#include "platform/Terminal.h"
#include "support/CRegistry.h"
#include "support/WorkshopKey.h"

namespace corvina::cli {
namespace {

constexpr std::string_view kAddinKey =
    "Software\\Microsoft\\Office\\FrontPage\\Addins\\Sitepack.Connect";

bool Stored(const Result<bool>& result) {
  return result.ok() && *result;
}

// The desktop add-in's module: beside this program in the build tree, under lib/corvina once
// installed. Empty when it was not built (no Qt).
std::string AddInModule() {
  const std::filesystem::path folder = OwnExecutableFolder();
  for (const std::filesystem::path& candidate :
       {folder / "corvina-addin.so",
        folder.parent_path() / "lib" / "corvina" / "corvina-addin.so"}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec))
      return candidate.lexically_normal().string();
  }
  return {};
}

// The folder as recorded: absolute, normalized, without a trailing separator.
std::string FolderText(const std::filesystem::path& folder) {
  std::error_code ec;
  std::string text = std::filesystem::absolute(folder, ec).lexically_normal().string();
  while (text.size() > 1 && text.back() == kPathSeparatorChar)
    text.pop_back();
  return text;
}

std::string CompilerIn(const std::string& folder) {
  return folder + std::string(kPathSeparator) + "hhc" + std::string(kExecutableSuffix);
}

}  // namespace

int RunSetup(const std::optional<std::string>& workshop) {
  const std::string text =
      FolderText(workshop ? std::filesystem::path(*workshop) : OwnExecutableFolder());
  const std::string compiler = CompilerIn(text);
  if (!IsRunnable(compiler)) {
    PrintMessage("no help compiler in " + text + " (" + compiler +
                 " is missing or not executable)");
    return kExitUsage;
  }

  CRegistry registry;
  registry.Init(kHkeyCurrentUser);
  const bool ok =
      Stored(registry.SetValue(kWorkshopKey, kInstallDir, text, 1)) &&
      Stored(registry.SetValue(kAddinKey, "FriendlyName", "CorvinaStudio", 1)) &&
      Stored(registry.SetValue(kAddinKey, "Description",
                               "Front Page site to Microsoft Help Workshop converter", 1)) &&
      Stored(registry.SetValue(kAddinKey, "LoadBehavior", int32_t{3}, 4)) &&
      (AddInModule().empty() || Stored(registry.SetValue(kAddinKey, "Module", AddInModule(), 1)));
  if (!ok) {
    Result<bool> probe = registry.CreateKey(kWorkshopKey);
    PrintMessage("could not record the help compiler's folder: " +
                 (probe.ok() ? std::string("the registry store refused the write")
                             : probe.error().description));
    return kExitStopped;
  }
  std::printf("Help compiler folder: %s\n", text.c_str());
  return kExitClean;
}

void AdoptSiblingCompiler() {
  CRegistry registry;
  registry.Init(kHkeyCurrentUser);
  // A store that cannot be read is reported by the run itself.
  Result<RegValue> recorded = registry.GetValue(kWorkshopKey, kInstallDir, RegValue(""));
  if (!recorded.ok() || !recorded->AsText().empty()) return;
  const std::filesystem::path own = OwnExecutableFolder();
  if (own.empty()) return;
  const std::string folder = FolderText(own);
  const std::string compiler = CompilerIn(folder);
  if (!IsRunnable(compiler)) return;
  if (!Stored(registry.SetValue(kWorkshopKey, kInstallDir, folder, 1))) return;
  PrintMessage("no help compiler was recorded; using " + compiler + " and recording its folder");
}

}  // namespace corvina::cli
