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

// Number of bytes of the UTF-8 sequence that starts at bytes[0], when it is a valid one;
// 0 when it is not; -1 when the bytes end before a valid sequence could be complete.
int SequenceLength(std::string_view bytes) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(0);
  int length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<size_t>(i) >= bytes.size()) return -1;
    unsigned char c = byte(i);
    if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return 0;
  }
  return length;
}

// Output arrives as bytes; the owner gets text. Valid UTF-8 passes unchanged; any other byte
// is read as Windows-1252, the code page of the Windows tools. A sequence cut by the end of a
// read waits for the next one.
class OutputDecoder {
 public:
  // Text that is plain ASCII needs no decoding: the caller delivers it as it is.
  bool PassesUnchanged(std::string_view bytes) const {
    return pending_.empty() && std::all_of(bytes.begin(), bytes.end(), [](char c) {
             return static_cast<unsigned char>(c) < 0x80;
           });
  }

  std::string Decode(std::string_view bytes, bool final) {
    std::string input;
    if (!pending_.empty()) {
      input = pending_ + std::string(bytes);
      pending_.clear();
      bytes = input;
    }
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
      size_t plain = i;
      while (plain < bytes.size() && static_cast<unsigned char>(bytes[plain]) < 0x80)
        ++plain;
      text.append(bytes.substr(i, plain - i));
      i = plain;
      if (i == bytes.size()) break;
      int length = SequenceLength(bytes.substr(i));
      if (length < 0 && !final) {
        pending_ = std::string(bytes.substr(i));
        break;
      }
      if (length <= 0) {
        text += AnsiToUtf8(bytes.substr(i, 1));
        ++i;
      } else {
        text.append(bytes.substr(i, static_cast<size_t>(length)));
        i += static_cast<size_t>(length);
      }
    }
    return text;
  }

 private:
  std::string pending_;
};

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
  ProcessStart start = ProcessRunner().Start(
      ProcessStartOptions{std::string(sCmdline), std::string(sStartUpDirectory)});
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
  OutputDecoder decoder;
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
