#pragma once

#include "platform/IMessageBoxes.h"

namespace corvina {

// Message boxes as Qt dialogs, owned by the active window. Carriage return and line feed pairs
// become line breaks; the first button is the default, as on Windows.
class QtMessageBoxes : public IMessageBoxes {
 public:
  Answer Show(const MessageBoxRequest& request) override;
};

}  // namespace corvina
