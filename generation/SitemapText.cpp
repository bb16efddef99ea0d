#include "generation/SitemapText.h"

namespace corvina {

std::string SitemapValue(std::string_view sText) {
  std::string out;
  out.reserve(sText.size());
  for (char c : sText) {
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
      case '\r':
      case '\n':
        out += ' ';
        break;
      default:
        out += c;
    }
  }
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
