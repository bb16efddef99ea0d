#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// HtmlHelp commands.
inline constexpr uint32_t kHhDisplayTopic = 0;  // open the file at the topic
inline constexpr uint32_t kHhDisplayToc = 1;    // open the file's contents; the topic as default

// Opens a help file in the help viewer. The viewer runs on its own: the call returns once it
// has been started, and the viewer's window ("HH Parent", captioned with the file's title)
// can then be found and closed through the window service.
class IHelpViewer {
 public:
  virtual ~IHelpViewer() = default;
  // owner: the calling window's handle; file: UTF-8 path; topic: a page of the file, or empty.
  virtual Status HtmlHelp(intptr_t owner, std::string_view file, uint32_t command,
                          std::string_view topic) = 0;
};

}  // namespace corvina
