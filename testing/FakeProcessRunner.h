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
// reads return, then the end of data, then its exit code (137 once killed). fail_start makes
// starts fail.
class FakeProcessRunner : public IProcessRunner {
 public:
  std::vector<ProcessStartOptions> started;  // every start asked for, in order
  std::deque<std::string> output;            // what the next child's reads return
  int32_t exit_code = 0;
  std::optional<ProcessStartFailure> fail_start;
  int kills = 0;

  ProcessStart Start(const ProcessStartOptions& options) override {
    started.push_back(options);
    ProcessStart start;
    if (fail_start) {
      start.failure = *fail_start;
    } else {
      start.child = std::make_unique<Child>(*this);
    }
    return start;
  }

 private:
  class Child : public IChildProcess {
   public:
    explicit Child(FakeProcessRunner& runner) : runner_(runner) {}
    ProcessRead Read(std::span<std::byte> buffer, std::chrono::milliseconds) override {
      std::deque<std::string>& output = runner_.output;
      if (output.empty() || killed_) return ProcessRead{.end = true};
      ProcessRead read;
      read.bytes = std::min(buffer.size(), output.front().size());
      std::memcpy(buffer.data(), output.front().data(), read.bytes);
      output.front().erase(0, read.bytes);
      if (output.front().empty()) output.pop_front();
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
