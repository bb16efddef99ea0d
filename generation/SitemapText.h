#pragma once

#include <string>
#include <string_view>

namespace corvina {

// The texts that the contents file and the index file share.
inline constexpr std::string_view kSitemapHead =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML><HEAD></HEAD><BODY>\r\n";
inline constexpr std::string_view kSitemapTail = "</BODY></HTML>";
inline constexpr std::string_view kEntryHead = "<LI><OBJECT TYPE=\"text/sitemap\">\r\n";
inline constexpr std::string_view kEntryTail = "\r\n</OBJECT>\r\n";
inline constexpr std::string_view kNameParam = "<PARAM NAME=\"Name\" VALUE=\"";
inline constexpr std::string_view kLocalParam = "<PARAM NAME=\"Local\" VALUE=\"";
inline constexpr std::string_view kParamEnd = "\">";

// A label, keyword or reference as a parameter value: the help compiler reads these files as
// HTML, so a double quote would end the value early and "&" would start an entity. Line breaks
// become blanks.
std::string SitemapValue(std::string_view sText);

// A value for one line of the project file: a line break would start another option.
std::string ProjectValue(std::string_view sText);

}  // namespace corvina
