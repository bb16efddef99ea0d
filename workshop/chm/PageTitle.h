#pragma once

#include <string>
#include <string_view>

namespace corvina::chm {

// The text of a page's <title> (UTF-8, blanks collapsed, trimmed), read with libxml2's HTML
// parser, which copes with broken markup, XHTML with an XML prolog and any letter case. Empty
// when the page has none.
std::string ReadPageTitle(std::string_view html);

}  // namespace corvina::chm
