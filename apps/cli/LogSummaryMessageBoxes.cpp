#include "apps/cli/LogSummaryMessageBoxes.h"

namespace corvina {
namespace {

constexpr std::string_view kSummary = "There are errors and warnings while compiling.";

std::string Count(int number, std::string_view noun) {
  return std::to_string(number) + " " + std::string(noun) + (number == 1 ? "" : "s");
}

}  // namespace

std::string LogSummaryMessageBoxes::Shorten(std::string_view text) {
  if (!text.starts_with(kSummary)) return std::string(text);
  int warnings = 0;
  int errors = 0;
  size_t at = text.find('\n', kSummary.size());
  while (at != std::string_view::npos) {
    const std::string_view line = text.substr(at + 1);
    if (line.substr(0, 5) == "Error" || line.substr(0, 5) == "error" ||
        line.substr(0, 5) == "ERROR") {
      ++errors;
    } else {
      ++warnings;
    }
    at = text.find('\n', at + 1);
  }
  return std::string(kSummary.substr(0, kSummary.size() - 1)) + ": " + Count(warnings, "warning") +
         " and " + Count(errors, "error") + ", as the compiler's log shows.";
}

Answer LogSummaryMessageBoxes::Show(const MessageBoxRequest& request) {
  if (!request.text.starts_with(kSummary)) return inner_.Show(request);
  MessageBoxRequest shortened = request;
  shortened.text = Shorten(request.text);
  return inner_.Show(shortened);
}

}  // namespace corvina
