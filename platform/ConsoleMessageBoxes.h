#pragma once

#include <cstdio>

#include "platform/IMessageBoxes.h"

namespace corvina {

// Message boxes on a console: every text goes to stderr as "<caption>: <text>". A question is
// answered by the policy the user gave (--yes / --no); without one it is asked on the terminal,
// and with no terminal the answer is No (Cancel where No is not offered).
class ConsoleMessageBoxes : public IMessageBoxes {
 public:
  enum class Policy { kAsk, kYes, kNo };

  explicit ConsoleMessageBoxes(Policy policy, std::FILE* out = stderr, std::FILE* in = stdin);
  Answer Show(const MessageBoxRequest& request) override;

 private:
  Policy policy_;
  std::FILE* out_;
  std::FILE* in_;
};

}  // namespace corvina
