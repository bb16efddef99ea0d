#include "platform/ConsoleMessageBoxes.h"

#include <unistd.h>

#include <string>

namespace corvina {
namespace {

// The box's text with its Windows line ends made plain ones.
std::string PlainLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

Answer Refusal(Buttons buttons) {
  return buttons == Buttons::kOkCancel ? Answer::kCancel : Answer::kNo;
}

Answer Consent(Buttons buttons) {
  return buttons == Buttons::kOkCancel ? Answer::kOk : Answer::kYes;
}

}  // namespace

ConsoleMessageBoxes::ConsoleMessageBoxes(Policy policy, std::FILE* out, std::FILE* in)
    : policy_(policy), out_(out), in_(in) {}

bool ConsoleMessageBoxes::AlreadyTold(std::string_view body) const {
  if (told_.count(body) > 0) return true;
  for (size_t colon = body.find(": "); colon != std::string_view::npos;
       colon = body.find(": ", colon + 1)) {
    if (told_.count(body.substr(colon + 2)) > 0) return true;
  }
  return false;
}

Answer ConsoleMessageBoxes::Show(const MessageBoxRequest& request) {
  std::string_view body = request.text;
  if (!show_trailers && request.trailer_at <= body.size()) {
    body = body.substr(0, request.trailer_at);
  }
  if (request.buttons == Buttons::kOk) {
    if (AlreadyTold(body)) return Answer::kOk;
    told_.emplace(body);
  }
  if (before_show) before_show();
  const std::string text = request.caption + ": " + PlainLines(body);
  if (request.buttons == Buttons::kOk) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    return Answer::kOk;
  }
  const bool can_ask =
      policy_ == Policy::kAsk && ::isatty(::fileno(in_)) && ::isatty(::fileno(out_));
  if (!can_ask) {
    const bool yes = policy_ == Policy::kYes;
    std::fprintf(out_, "%s [%s]\n", text.c_str(), yes ? "yes" : "no");
    std::fflush(out_);
    return yes ? Consent(request.buttons) : Refusal(request.buttons);
  }
  while (true) {
    std::fprintf(out_, "%s [y/n] ", text.c_str());
    std::fflush(out_);
    char line[64];
    if (std::fgets(line, sizeof line, in_) == nullptr) {
      std::fputc('\n', out_);
      return Refusal(request.buttons);
    }
    if (line[0] == 'y' || line[0] == 'Y') return Consent(request.buttons);
    if (line[0] == 'n' || line[0] == 'N') return Refusal(request.buttons);
  }
}

}  // namespace corvina
