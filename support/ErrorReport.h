#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Status.h"

namespace corvina {

// The error report of a system routine, made once per routine with its module and name. A
// statement that fails is shown as "<description>\r\nin Sitepack.<module>.<routine> at line
// <n>" (OK, no icon, caption "Corvina"), and the routine goes on with its next statement.
// Between IgnoreErrors() and ReportErrors() failures are skipped without a report; the last
// one is still kept, so that the routine can test its number.
class ErrorReport {
 public:
  ErrorReport(std::string_view module, std::string_view routine);

  // Each call's `line` defaults to the line of the statement that makes it. __builtin_LINE()
  // does so with every compiler we build with; std::source_location needs a newer clang.

  // Returns true when the statement succeeded.
  bool Check(const Status& status, unsigned line = __builtin_LINE());

  // The statement's value, or the fallback when it failed.
  template <typename T>
  T Value(Result<T> result, T fallback = T(), unsigned line = __builtin_LINE()) {
    if (result.ok()) return std::move(result).value();
    Fail(result.error(), line);
    return fallback;
  }

  // A failure that the routine detects itself.
  void Raise(Error error, unsigned line = __builtin_LINE());

  void IgnoreErrors() { ignoring_ = true; }
  void ReportErrors() { ignoring_ = false; }
  bool ignoring() const { return ignoring_; }

  // The last failure seen by this routine (number 0 when none), as the Err object keeps it.
  const Error& last_error() const { return last_error_; }
  void ClearError() { last_error_ = Error{}; }

  // How many reports this process has shown: a front end tells from it that a run met an
  // unexpected failure (its settings could not be saved, say) even when the run went on.
  static uint64_t ReportsShown() { return reports_shown_; }

  // The text of the report box, for the routine's own tests and for other front ends.
  std::string Text(const Error& error, unsigned line) const;

 private:
  void Fail(const Error& error, unsigned line);

  std::string module_;
  std::string routine_;
  bool ignoring_ = false;
  Error last_error_;
  static inline uint64_t reports_shown_ = 0;
};

// A failure ignored on purpose; the call site says why in a comment.
inline void IgnoreFailure(const Status&) {}
template <typename T>
void IgnoreFailure(const Result<T>&) {}

}  // namespace corvina
