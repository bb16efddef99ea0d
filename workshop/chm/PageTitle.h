#pragma once

#include <string>
#include <string_view>

namespace corvina::chm {

// The text of a page's first <title> that shows any, as a browser's title bar shows it: UTF-8,
// character references decoded, blanks collapsed, control characters dropped, trimmed. The
// page is read in the charset it declares (a UTF-16 byte-order mark, else the XML encoding or
// <meta> charset), else as UTF-8 where its bytes are UTF-8 and as Windows-1252 elsewhere. Tags
// and comments inside the title hold no text; a title without its end tag runs to the first tag
// after it. Empty when the page has none.
std::string ReadPageTitle(std::string_view html);

}  // namespace corvina::chm
