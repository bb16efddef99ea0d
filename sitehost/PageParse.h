#pragma once

#include "sitehost/PageReader.h"

namespace corvina::sitehost {

// Two readings of a decoded page through the HTML parser, with the same options, that give the
// same facts. ParsePageTree builds the parser's document tree and walks it. ParsePageEvents
// takes the facts from the parser's events as they come, building no tree: it follows how the
// tree builder nests, names and stops, so what it collects is what the tree would hold. It
// reads the page through the tree when the page is too large for that promise (see the .cpp).
PageFacts ParsePageTree(const PageText& text, PageParts parts);
PageFacts ParsePageEvents(const PageText& text, PageParts parts);

}  // namespace corvina::sitehost
