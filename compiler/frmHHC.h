#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/Form.h"
#include "shared/ItemPanel.h"

namespace corvina {

class CSpawnConsoleApp;
class IHostApplication;

// The compiler log window: runs one help tool (the compiler, or "hh" in decompile mode),
// shows its output as it arrives with a rough progress figure, ends the log with "Done!" (or,
// when the tool failed, with its exit status or the signal that ended it),
// lists the tool's numbered "HHC" messages in a message box and returns -1 when there are
// any. A view draws the public state below on Refresh().
class frmHHC : public Form {
 public:
  frmHHC();
  ~frmHHC() override;

  // Decompile mode: run "hh" instead of the compiler. Cleared whenever the window loads.
  bool Decompile = false;
  // Number of files of the site being compiled; scales the progress figure.
  int32_t FilesCount = 0;
  // The tool's exit code in the last Execute (128 plus the signal's number when a signal
  // ended it; 0 when nothing ran). Any other value than 0 means the tool did not finish.
  int32_t ExitCode = 0;
  static constexpr int32_t kSignalExitBase = 128;

  // The log text (txtOutput), the progress panel (elaProgress: caption and fill 0 to 100),
  // the "CLOSE" button bar and the hourglass.
  const std::string& txtOutput() const { return mLog; }
  // Counts the times the log was replaced rather than extended, so that a view that draws
  // only the new text knows when to start again.
  uint64_t LogResets() const { return mLogResets; }
  // Line ends in the log: line feeds, alone or after a carriage return.
  uint64_t LineBreaks() const { return mLineBreaks; }
  std::string elaProgressCaption;
  int elaProgressValue = 0;
  ItemPanel suiButtons;
  bool MousePointerBusy = false;

  // Runs the tool in sProjectPath with the arguments sProjectFile. Returns -1 when the log
  // holds "HHC" messages, else the tool's exit code (0 when it could not be started or the
  // compiler is not installed).
  int32_t Execute(std::string_view sProjectPath, std::string_view sProjectFile);

  void suiButtons_Click(Item& item);

  // The first groups of every match of "HHC\d+:\s(.+)" in the text (case ignored; "." is any
  // character but a line feed, so a carriage return ending the line belongs to the group).
  static std::vector<std::string> FindMessages(std::string_view sLog);
  // The progress figure for a log of nLineBreaks line ends.
  static int ProgressPercent(uint64_t nLineBreaks, int32_t nFilesCount);

 protected:
  void Form_Load() override;
  void Form_Unload() override;

 private:
  void mHHC_OnProcessStarted();
  void mHHC_OnProcessOutputs(std::string_view sOutput);
  void Redraw();
  void SetProgress(int nPercent, std::string sCaption);
  void SetLog(std::string sText);
  void AppendLog(std::string_view sText);

  std::unique_ptr<CSpawnConsoleApp> mHHC;
  std::string mLog;
  uint64_t mLogResets = 0;
  // Line ends in mLog, kept as the log grows so that each chunk costs its own length only.
  uint64_t mLineBreaks = 0;
};

}  // namespace corvina
