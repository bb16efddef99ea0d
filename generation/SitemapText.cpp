#include "generation/SitemapText.h"

namespace corvina {

std::string SitemapValue(std::string_view sText) {
  std::string out;
  out.reserve(sText.size());
  // Runs of characters that stand as they are are copied whole.
  size_t start = 0;
  for (size_t i = 0; i < sText.size(); ++i) {
    const char c = sText[i];
    if (c != '&' && c != '"' && c != '<' && c != '>' && c != '\r' && c != '\n') continue;
    out.append(sText.substr(start, i - start));
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:  // a line end
        out += ' ';
    }
    start = i + 1;
  }
  out.append(sText.substr(start));
  return out;
}

std::string ProjectValue(std::string_view sText) {
  std::string out(sText);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

}  // namespace corvina
