#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sitehost/PageReader.h"

namespace corvina::sitehost {

// A title as the site shows it: runs of blanks and control characters (tabs, line ends)
// collapsed to one blank, and trimmed.
std::string CollapseBlanks(std::string_view text);

// Adds a keywords meta's content to the facts, as the site reads it: control characters read
// as blanks, and the contents of several such metas join with commas.
void AddKeywords(PageFacts& facts, std::string keywords);

// The title and keywords of UTF-8 markup written plainly, read without the HTML parser: the
// same facts the parser gives, or nullopt when the text holds anything the parser might
// repair or decode (an entity, a stray "<", a control character, an unclosed tag, a
// valueless name or content on a meta, ...), which the caller then parses. Most pages' heads
// are plain, and reading one this way costs a small part of a parse.
std::optional<PageFacts> ReadPlainHead(std::string_view text);

// The same for a whole page, with its links (PageParts::kAll): nullopt also when the page
// nests elements so deep, or is so long, that the parser's limits could come into play.
std::optional<PageFacts> ReadPlainPage(std::string_view text);

}  // namespace corvina::sitehost
