#pragma once

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "platform/IMessageBoxes.h"

namespace corvina {

// Message boxes on a console: every text goes to stderr as "<caption>: <text>", a report
// that was already told in this run (also as the cause of another one, "<what>: <report>")
// only once, so that a damaged settings store is not told once per setting. A question is
// answered by the policy the user gave (--yes / --no); without one it is asked on the terminal,
// and with no terminal the answer is No (Cancel where No is not offered).
class ConsoleMessageBoxes : public IMessageBoxes {
 public:
  enum class Policy { kAsk, kYes, kNo };

  explicit ConsoleMessageBoxes(Policy policy, std::FILE* out = stderr, std::FILE* in = stdin);
  Answer Show(const MessageBoxRequest& request) override;

  // Called before each message is written, so that whoever else draws on the stream (a
  // progress figure) can make room for it.
  std::function<void()> before_show;
  // Whether an error report's trailer (the routine and line) is shown; it is for developers.
  bool show_trailers = false;

 private:
  bool AlreadyTold(std::string_view body) const;

  Policy policy_;
  std::FILE* out_;
  std::FILE* in_;
  std::set<std::string, std::less<>> told_;  // the reports shown so far
};

}  // namespace corvina
