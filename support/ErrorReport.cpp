#include "support/ErrorReport.h"

#include "platform/IMessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Product.h"

namespace corvina {

ErrorReport::ErrorReport(std::string_view module, std::string_view routine)
    : module_(module), routine_(routine) {}

bool ErrorReport::Check(const Status& status, std::source_location where) {
  if (status.ok()) return true;
  Fail(status.error(), where);
  return false;
}

void ErrorReport::Raise(Error error, std::source_location where) {
  Fail(error, where);
}

std::string ErrorReport::Text(const Error& error, unsigned line) const {
  return error.description + "\r\nin Sitepack." + module_ + "." + routine_ + " at line " +
         std::to_string(line);
}

void ErrorReport::Fail(const Error& error, std::source_location where) {
  last_error_ = error;
  if (ignoring_) return;
  ++reports_shown_;
  MessageBoxes().Show(MessageBoxRequest{Text(error, where.line()), std::string(kProductName),
                                        Buttons::kOk, Icon::kNone, error.description.size()});
}

}  // namespace corvina
