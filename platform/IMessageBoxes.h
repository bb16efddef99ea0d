#pragma once

#include <string>
#include <string_view>

namespace corvina {

enum class Buttons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class Icon { kNone, kCritical, kQuestion, kExclamation, kInformation };
enum class Answer { kOk, kCancel, kYes, kNo };

struct MessageBoxRequest {
  std::string text;
  std::string caption;  // the product name when the message has no title of its own
  Buttons buttons = Buttons::kOk;
  Icon icon = Icon::kNone;
  // Where the report's trailer ("\r\nin Sitepack.<module>.<routine> at line <n>") starts in the
  // text, for a front end that shows it only on request; npos when the text has none.
  size_t trailer_at = std::string::npos;
};

// Shows a message and returns the user's answer. The front end supplies it: console prompts
// or scripted answers on the command line, dialogs in the GUI, a recorder in tests.
class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  virtual Answer Show(const MessageBoxRequest& request) = 0;
};

}  // namespace corvina
