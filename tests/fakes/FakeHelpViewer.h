#pragma once

#include <string>
#include <vector>

#include "platform/IHelpViewer.h"

namespace corvina {

// Records every request to open a help file; fail_with injects a failure.
class FakeHelpViewer : public IHelpViewer {
 public:
  struct Request {
    intptr_t owner;
    std::string file;
    uint32_t command;
    std::string topic;
  };
  std::vector<Request> requests;
  int32_t fail_with = 0;

  Status HtmlHelp(intptr_t owner, std::string_view file, uint32_t command,
                  std::string_view topic) override {
    requests.push_back({owner, std::string(file), command, std::string(topic)});
    if (fail_with != 0) return Error{fail_with, "injected failure"};
    return Status::Ok();
  }
};

}  // namespace corvina
