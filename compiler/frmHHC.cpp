#include "compiler/frmHHC.h"

#include <algorithm>
#include <cmath>

#include "compiler/CSpawnConsoleApp.h"
#include "platform/IMessageBoxes.h"
#include "platform/IMessageLoop.h"
#include "platform/IRegistryStore.h"
#include "platform/PathConventions.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "platform/Text.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/CRegistry.h"
#include "support/ErrorReport.h"
#include "support/WorkshopKey.h"

namespace corvina {
namespace {

constexpr float kDesignWidth = 6915;
constexpr float kDesignHeight = 4800;

std::vector<ItemTemplate> ButtonsTemplate() {
  return {{"CLOSE", ItemKind::kButton, "Close", 22, 55, "", "close"}};
}

// A line ends with a line feed, after a carriage return (as the Workshop's tools write) or
// alone (as our hhc writes); both move the progress figure alike.
uint64_t CountLineBreaks(std::string_view sText) {
  return static_cast<uint64_t>(std::count(sText.begin(), sText.end(), '\n'));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A message group that the tool printed as "HHCnnnn: Warning: text" (case ignored).
bool IsWarning(std::string_view sGroup) {
  constexpr std::string_view kWarning = "warning:";
  if (sGroup.size() < kWarning.size()) return false;
  for (size_t i = 0; i < kWarning.size(); ++i) {
    if (AsciiLower(sGroup[i]) != kWarning[i]) return false;
  }
  return true;
}

void ShowMessage(std::string sText, Icon eIcon) {
  MessageBoxes().Show(
      MessageBoxRequest{std::move(sText), std::string(kProductName), Buttons::kOk, eIcon});
}

}  // namespace

frmHHC::frmHHC()
    : Form("frmHHC", "Microsoft HTML Help Workshop", kDesignWidth, kDesignHeight),
      suiButtons(ButtonsTemplate()) {
  suiButtons.Width = 885;
  suiButtons.Height = 375;
  suiButtons.Click = [this](Item& item) { suiButtons_Click(item); };
}

frmHHC::~frmHHC() = default;

void frmHHC::Form_Load() {
  Decompile = false;
}

void frmHHC::Form_Unload() {
  // A window closed while its tool runs takes the tool with it.
  if (mHHC) mHHC->Cancel();
  if (Globals::HostApplication != nullptr) {
    ErrorReport report("frmHHC", "Form_Unload");
    if (IWeb* web = Globals::HostApplication->ActiveWeb()) report.Check(web->Refresh());
  }
}

void frmHHC::suiButtons_Click(Item& item) {
  if (item.Key == "CLOSE") Unload();
}

// A window unloaded during its run (closed by the user) has no view left to draw.
void frmHHC::Redraw() {
  if (IsLoaded()) Refresh();
}

void frmHHC::SetProgress(int nPercent, std::string sCaption) {
  elaProgressValue = nPercent;
  elaProgressCaption = std::move(sCaption);
}

void frmHHC::SetLog(std::string sText) {
  mLog = std::move(sText);
  mLineBreaks = CountLineBreaks(mLog);
  ++mLogResets;
}

void frmHHC::AppendLog(std::string_view sText) {
  if (sText.empty()) return;
  mLineBreaks += CountLineBreaks(sText);
  mLog.append(sText);
}

int frmHHC::ProgressPercent(uint64_t nLineBreaks, int32_t nFilesCount) {
  const double divisor = static_cast<double>(nFilesCount) + 10;
  // A file count that leaves no positive divisor has no meaningful figure: keep it in range.
  if (divisor <= 0) return nLineBreaks == 0 ? 0 : 99;
  // nearbyint rounds halves to the even neighbour in the default rounding mode.
  const double percent = std::nearbyint(static_cast<double>(nLineBreaks) / divisor * 100);
  return percent > 100 ? 99 : static_cast<int>(percent);
}

std::vector<std::string> frmHHC::FindMessages(std::string_view sLog) {
  std::vector<std::string> groups;
  size_t i = 0;
  while (i + 3 <= sLog.size()) {
    if (AsciiLower(sLog[i]) != 'h' || AsciiLower(sLog[i + 1]) != 'h' ||
        AsciiLower(sLog[i + 2]) != 'c') {
      ++i;
      continue;
    }
    size_t j = i + 3;
    while (j < sLog.size() && IsDigit(sLog[j]))
      ++j;
    // One or more digits, a colon, one white-space character, then at least one character
    // that is not a line feed.
    if (j == i + 3 || j + 2 >= sLog.size() || sLog[j] != ':' || !IsSpace(sLog[j + 1]) ||
        sLog[j + 2] == '\n') {
      ++i;
      continue;
    }
    const size_t start = j + 2;
    size_t end = sLog.find('\n', start);
    if (end == std::string_view::npos) end = sLog.size();
    groups.emplace_back(sLog.substr(start, end - start));
    i = end;
  }
  return groups;
}

void frmHHC::mHHC_OnProcessStarted() {
  SetProgress(5, "5 %");
  SetLog("Starting Microsoft HTML Help Workshop compiler\r\n");
  Redraw();
}

void frmHHC::mHHC_OnProcessOutputs(std::string_view sOutput) {
  const int nPercent = ProgressPercent(mLineBreaks, FilesCount);
  SetProgress(nPercent, std::to_string(nPercent) + " %");
  AppendLog(sOutput);
  // The runner yields to the message loop after every read; a redraw per piece is enough.
  Redraw();
}

int32_t frmHHC::Execute(std::string_view sProjectPath, std::string_view sProjectFile) {
  ErrorReport report("frmHHC", "Execute");
  int32_t result = 0;
  ExitCode = 0;
  SetProgress(0, "");
  MousePointerBusy = true;
  Show(false);
  suiButtons["CLOSE"].Enabled = false;
  Redraw();
  MessageLoop().DoEvents();

  CRegistry registry;
  registry.Init(kHkeyCurrentUser);
  const std::string sFolder =
      report.Value(registry.GetValue(kWorkshopKey, kInstallDir, RegValue(""))).AsText();

  if (sFolder.empty() && !Decompile) {
    ShowMessage("Microsoft HTML Help WorkShop must be installed", Icon::kNone);
  } else {
    std::string sProgram;
    if (Decompile) {
      sProgram = "hh" + std::string(kExecutableSuffix);
    } else {
      sProgram = sFolder + std::string(kPathSeparator) + "hhc" + std::string(kExecutableSuffix);
    }
    // The runner reports its own start failures and gives 0; nothing else can fail here.
    mHHC = std::make_unique<CSpawnConsoleApp>();
    mHHC->OnProcessStarted = [this] { mHHC_OnProcessStarted(); };
    mHHC->OnProcessOutputs = [this](std::string_view sOutput) { mHHC_OnProcessOutputs(sOutput); };
    result = mHHC->ExecuteApp("\"" + sProgram + "\" " + std::string(sProjectFile), sProjectPath);
    mHHC.reset();
    ExitCode = result;

    // A tool that failed or was killed did not finish its work; the log says which.
    const std::string sTool = Decompile ? "hh" : "hhc";
    if (result == 0) {
      AppendLog("\r\nDone!");
    } else if (result > kSignalExitBase) {
      AppendLog("\r\n" + sTool + " was ended by signal " +
                std::to_string(result - kSignalExitBase));
    } else {
      AppendLog("\r\n" + sTool + " failed with exit status " + std::to_string(result));
    }
    Redraw();

    std::string sMessages;
    bool bErrors = false;
    for (const std::string& sGroup : FindMessages(mLog)) {
      sMessages += "\r\n" + sGroup;
      bErrors = bErrors || !IsWarning(sGroup);
    }
    if (!sMessages.empty()) {
      // Warnings alone still fail the run, but are not called errors.
      ShowMessage((bErrors ? "There are errors and warnings while compiling."
                           : "There are warnings while compiling.") +
                      sMessages,
                  Icon::kInformation);
      result = -1;
    }
    SetProgress(100, "100 %");
  }

  if (IsLoaded()) suiButtons["CLOSE"].Enabled = true;
  MousePointerBusy = false;
  Redraw();
  return result;
}

}  // namespace corvina
