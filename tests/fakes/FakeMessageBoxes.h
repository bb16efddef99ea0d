#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/IMessageBoxes.h"

namespace corvina {

// Records every message box; answers questions from a script. A question the test did not
// script fails the test.
class FakeMessageBoxes : public IMessageBoxes {
 public:
  std::vector<MessageBoxRequest> shown;  // every box, in order
  std::deque<Answer> answers;            // scripted replies to questions

  Answer Show(const MessageBoxRequest& request) override {
    shown.push_back(request);
    if (request.buttons == Buttons::kOk) return Answer::kOk;
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted question: " << request.text;
      return Answer::kNo;
    }
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& box : shown)
      out.push_back(box.text);
    return out;
  }
};

}  // namespace corvina
