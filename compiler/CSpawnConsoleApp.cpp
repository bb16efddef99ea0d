#include "compiler/CSpawnConsoleApp.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "platform/IMessageLoop.h"
#include "platform/IProcessRunner.h"
#include "platform/Platform.h"
#include "platform/TextEncoding.h"
#include "support/ErrorReport.h"

namespace corvina {
namespace {

constexpr size_t kChunkCharacters = 16;
constexpr size_t kReadSize = 256 * 1024;
// The longest the user interface goes without a DoEvents while a child runs.
constexpr std::chrono::milliseconds kYieldInterval(50);

}  // namespace

CSpawnConsoleApp::CSpawnConsoleApp() = default;
CSpawnConsoleApp::~CSpawnConsoleApp() = default;

void CSpawnConsoleApp::Cancel() {
  mCancelled = true;
  if (mChild != nullptr) mChild->Kill();
}

void CSpawnConsoleApp::Deliver(std::string_view sText, bool bAscii) {
  if (!OnProcessOutputs) return;
  if (bAscii) {
    for (size_t at = 0; at < sText.size(); at += kChunkCharacters)
      OnProcessOutputs(sText.substr(at, kChunkCharacters));
    return;
  }
  size_t start = 0;
  size_t characters = 0;
  for (size_t i = 0; i < sText.size(); ++i) {
    if ((static_cast<unsigned char>(sText[i]) & 0xC0) == 0x80) continue;  // inside a character
    if (characters == kChunkCharacters) {
      OnProcessOutputs(sText.substr(start, i - start));
      start = i;
      characters = 0;
    }
    ++characters;
  }
  if (start < sText.size()) OnProcessOutputs(sText.substr(start));
}

int32_t CSpawnConsoleApp::ExecuteApp(std::string_view sCmdline,
                                     std::string_view sStartUpDirectory) {
  ErrorReport report("CSpawnConsoleApp", "ExecuteApp");
  mCancelled = false;
  ProcessStart start = ProcessRunner().Start(ProcessStartOptions{
      .command_line = std::string(sCmdline), .working_directory = std::string(sStartUpDirectory)});
  if (!start.child) {
    const std::string number = std::to_string(start.failure.system_error);
    if (start.failure.step == ProcessStartFailure::Step::kPipe) {
      report.Raise(Error{kErrCreatePipe, "CreatePipe failed. Error: " + number});
    } else {
      report.Raise(Error{kErrCreateProcess, "CreateProcess failed. Error: " + number});
    }
    return 0;
  }
  std::unique_ptr<IChildProcess> child = std::move(start.child);
  mChild = child.get();
  if (OnProcessStarted) OnProcessStarted();
  if (mCancelled) mChild->Kill();

  auto buffer = std::make_unique<std::array<std::byte, kReadSize>>();
  Utf8OrWindows1252Decoder decoder;
  while (true) {
    ProcessRead read = mChild->Read(*buffer, kYieldInterval);
    if (read.bytes > 0) {
      const std::string_view bytes(reinterpret_cast<const char*>(buffer->data()), read.bytes);
      if (decoder.PassesUnchanged(bytes)) {
        Deliver(bytes, true);
      } else {
        Deliver(decoder.Decode(bytes, false), false);
      }
    }
    if (read.end) {
      Deliver(decoder.Decode({}, true), false);
      if (OnProcessOutputs) OnProcessOutputs({});
      MessageLoop().DoEvents();
      break;
    }
    MessageLoop().DoEvents();
  }

  // The output can end before the child does (it closed its copies, or a process it started
  // holds them); the child is waited for, and the user interface kept alive meanwhile.
  std::optional<int32_t> exit_code;
  while (!(exit_code = mChild->Wait(kYieldInterval))) {
    MessageLoop().DoEvents();
  }
  mChild = nullptr;
  return *exit_code;
}

}  // namespace corvina
