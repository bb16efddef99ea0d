#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/INamedMutexes.h"

namespace corvina {

// Named mutexes as hold counts in memory; fail_create_with injects a failure.
class FakeNamedMutexes : public INamedMutexes {
 public:
  std::map<std::string, int> holds;  // current holds by name
  int32_t fail_create_with = 0;

  Result<std::unique_ptr<INamedMutex>> CreateMutex(std::string_view name) override {
    if (fail_create_with != 0) return Error{fail_create_with, "injected failure"};
    int& count = holds[std::string(name)];
    const bool existed = count > 0;
    ++count;
    return std::unique_ptr<INamedMutex>(std::make_unique<Hold>(*this, std::string(name), existed));
  }
  Result<bool> Exists(std::string_view name) override {
    auto it = holds.find(std::string(name));
    return it != holds.end() && it->second > 0;
  }

 private:
  class Hold : public INamedMutex {
   public:
    Hold(FakeNamedMutexes& owner, std::string name, bool existed)
        : owner_(owner), name_(std::move(name)), existed_(existed) {}
    ~Hold() override { --owner_.holds[name_]; }
    bool AlreadyExisted() const override { return existed_; }

   private:
    FakeNamedMutexes& owner_;
    std::string name_;
    bool existed_;
  };
};

}  // namespace corvina
