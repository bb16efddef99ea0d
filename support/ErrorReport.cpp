#include "support/ErrorReport.h"

#include "platform/IMessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Product.h"

namespace corvina {

ErrorReport::ErrorReport(std::string_view module, std::string_view routine)
    : module_(module), routine_(routine) {}

bool ErrorReport::Check(const Status& status, unsigned line) {
  if (status.ok()) return true;
  Fail(status.error(), line);
  return false;
}

void ErrorReport::Raise(Error error, unsigned line) {
  Fail(error, line);
}

std::string ErrorReport::Text(const Error& error, unsigned line) const {
  return error.description + "\r\nin Sitepack." + module_ + "." + routine_ + " at line " +
         std::to_string(line);
}

void ErrorReport::Fail(const Error& error, unsigned line) {
  last_error_ = error;
  if (ignoring_) return;
  ++reports_shown_;
  MessageBoxes().Show(MessageBoxRequest{Text(error, line), std::string(kProductName), Buttons::kOk,
                                        Icon::kNone, error.description.size()});
}

}  // namespace corvina
