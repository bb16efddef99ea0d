#pragma once

#include <string>
#include <string_view>

namespace corvina::workshop {

// The numbered messages of our hhc, printed in the Workshop form "HHCnnnn: Warning: text" or
// "HHCnnnn: Error: text". The numbers are stable; workshop/README.md lists them.
enum class HhcCode : int {
  // Warnings: the help file is made, but something in it may not work.
  kLinkNotOnDisk = 4001,       // a page links to a file that is not on disk
  kFileNotInProject = 4002,    // the compiler reports a file that does not exist
  kXmlPrologPage = 4003,       // a page that starts with an XML declaration is stored unindexed
  kAnchorUndefined = 4004,     // a link or a contents entry names an anchor its page lacks
  kLinkOutsideProject = 4006,  // a page links to a file outside the project folder
  kListedTwice = 4007,         // a file is listed twice in [FILES]; it is stored once
  kLinkLeavesProject = 4008,   // a symbolic link leads outside the project folder: not stored
  kCompilerWarning = 4009,     // any other warning of the compiler
  // Errors: no help file is made.
  kProjectUnreadable = 6001,  // the project file is missing or cannot be read
  kListedFileMissing = 6002,  // a file of [FILES] does not exist
  kOutsideProject = 6003,     // a file lies outside the project folder
  kContentsMissing = 6004,    // the contents file does not exist
  kIndexMissing = 6005,       // the index file does not exist
  kCompilerFailed = 6006,     // the compiler crashed or exited with a failure
  kCompilerNotFound = 6007,   // the compiler program cannot be started
  kOutputFailed = 6008,       // the compiled file cannot be written or moved into place
  kCompilerError = 6009,      // any other error the compiler reports
  kBadProject = 6010,         // the project lacks what a compile needs
  kInterrupted = 6011,        // the compile was stopped by a signal
};

// The environment variable that names hhc's engine ("native" or "chmcmd") when its command
// line does not; `corvina compile --engine` sets it for the run.
inline constexpr const char* kHhcEngineVariable = "CORVINA_HHC_ENGINE";

bool IsError(HhcCode code);
// "HHC6002: Error: text" or "HHC4001: Warning: text".
std::string FormatMessage(HhcCode code, std::string_view text);

}  // namespace corvina::workshop
