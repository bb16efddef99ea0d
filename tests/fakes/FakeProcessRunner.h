#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IProcessRunner.h"

namespace corvina {

// Records every start and plays a scripted child: its output as the pieces that successive
// reads return, then the end of data, then its exit code. A start can be made to fail.
class FakeProcessRunner : public IProcessRunner {
 public:
  std::vector<ProcessStartOptions> started;  // every start asked for, in order
  std::deque<std::string> output;            // what the next child's reads return
  int32_t exit_code = 0;
  std::optional<ProcessStartFailure> fail_start;  // the next start fails so
  int kills = 0;

  ProcessStart Start(const ProcessStartOptions& options) override {
    started.push_back(options);
    ProcessStart start;
    if (fail_start) {
      start.failure = *fail_start;
      return start;
    }
    start.child = std::make_unique<Child>(*this);
    return start;
  }

 private:
  class Child : public IChildProcess {
   public:
    explicit Child(FakeProcessRunner& runner) : runner_(runner) {}
    ProcessRead Read(std::span<std::byte> buffer, std::chrono::milliseconds) override {
      ProcessRead read;
      if (runner_.output.empty() || killed_) {
        read.end = true;
        return read;
      }
      std::string& piece = runner_.output.front();
      read.bytes = std::min(buffer.size(), piece.size());
      std::memcpy(buffer.data(), piece.data(), read.bytes);
      piece.erase(0, read.bytes);
      if (piece.empty()) runner_.output.pop_front();
      return read;
    }
    std::optional<int32_t> Wait(std::chrono::milliseconds) override {
      return killed_ ? 137 : runner_.exit_code;
    }
    void Kill() override {
      killed_ = true;
      ++runner_.kills;
    }

   private:
    FakeProcessRunner& runner_;
    bool killed_ = false;
  };
};

}  // namespace corvina
