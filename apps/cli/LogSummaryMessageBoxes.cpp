#include "apps/cli/LogSummaryMessageBoxes.h"

namespace corvina {
namespace {

// The log window's summaries: after errors, and after warnings alone.
constexpr std::string_view kSummaries[] = {"There are errors and warnings while compiling.",
                                           "There are warnings while compiling."};

std::string_view SummaryOf(std::string_view text) {
  for (std::string_view summary : kSummaries) {
    if (text.starts_with(summary)) return summary;
  }
  return {};
}

std::string Count(int number, std::string_view noun) {
  return std::to_string(number) + " " + std::string(noun) + (number == 1 ? "" : "s");
}

}  // namespace

std::string LogSummaryMessageBoxes::Shorten(std::string_view text) {
  const std::string_view summary = SummaryOf(text);
  if (summary.empty()) return std::string(text);
  int warnings = 0;
  int errors = 0;
  size_t at = text.find('\n', summary.size());
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
  return std::string(summary.substr(0, summary.size() - 1)) + ": " + Count(warnings, "warning") +
         " and " + Count(errors, "error") + ", as the compiler's log shows.";
}

Answer LogSummaryMessageBoxes::Show(const MessageBoxRequest& request) {
  if (SummaryOf(request.text).empty()) return inner_.Show(request);
  MessageBoxRequest shortened = request;
  shortened.text = Shorten(request.text);
  return inner_.Show(shortened);
}

}  // namespace corvina
