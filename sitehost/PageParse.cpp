#include "sitehost/PageParse.h"

#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Text.h"
#include "sitehost/PlainHead.h"

namespace corvina::sitehost {
namespace {

constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_COMPACT;

// The tree builder stops the parse when one text node would grow past XML_MAX_TEXT_LENGTH
// bytes. A page converts to at most three bytes of UTF-8 per byte, so up to this size no text
// node can reach that limit and the events need not follow it.
constexpr size_t kMaxEventPageBytes = XML_MAX_TEXT_LENGTH / 3;

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct ParserFree {
  void operator()(htmlParserCtxt* parser) const { htmlFreeParserCtxt(parser); }
};
struct XmlCharFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlCharFree>;

const xmlChar* XmlName(const char* name) {
  return reinterpret_cast<const xmlChar*>(name);
}

std::string_view TextView(const xmlChar* text) {
  return text == nullptr ? std::string_view() : reinterpret_cast<const char*>(text);
}

void TakeTitle(std::string_view text, PageFacts& facts) {
  if (facts.title) return;
  std::string title = CollapseBlanks(text);
  if (!title.empty()) facts.title = std::move(title);
}

// A <meta> named `name` with `content` (either nullptr when absent).
void TakeMeta(const xmlChar* name, const xmlChar* content, PageFacts& facts) {
  if (name == nullptr || xmlStrcasecmp(name, XmlName("keywords")) != 0) return;
  AddKeywords(facts, std::string(TextView(content)));
}

// Setting up a parser costs more than parsing a page's head, so each thread keeps one. It is
// made anew now and then, so that the names it has seen cannot pile up without end. Each read
// gives it the handler it parses with.
htmlParserCtxt* ThisThreadsParser(const xmlSAXHandler& handler) {
  constexpr int kUsesPerParser = 1024;
  thread_local std::unique_ptr<htmlParserCtxt, ParserFree> parser;
  thread_local int uses = 0;
  if (!parser || ++uses > kUsesPerParser) {
    parser.reset(htmlNewParserCtxt());
    uses = 0;
  }
  if (parser) *parser->sax = handler;
  return parser.get();
}

xmlDoc* Parse(htmlParserCtxt* parser, const PageText& text) {
  if (parser == nullptr) return nullptr;
  return htmlCtxtReadMemory(parser, text.bytes.data(), static_cast<int>(text.bytes.size()), nullptr,
                            text.encoding.c_str(), kParseOptions);
}

const xmlSAXHandler& TreeHandler() {
  static const xmlSAXHandler handler = [] {
    xmlSAXHandler made{};
    xmlSAX2InitHtmlDefaultSAXHandler(&made);
    return made;
  }();
  return handler;
}

bool NameIs(const xmlNode* node, const char* name) {
  return xmlStrcasecmp(node->name, XmlName(name)) == 0;
}

XmlText Attribute(xmlNode* node, const char* name) {
  return XmlText(xmlGetProp(node, XmlName(name)));
}

void Visit(xmlNode* node, PageFacts& facts) {
  if (NameIs(node, "title")) {
    if (facts.title) return;
    XmlText content(xmlNodeGetContent(node));
    TakeTitle(TextView(content.get()), facts);
  } else if (NameIs(node, "meta")) {
    TakeMeta(Attribute(node, "name").get(), Attribute(node, "content").get(), facts);
  } else if (facts.links_read && (NameIs(node, "a") || NameIs(node, "area"))) {
    if (XmlText href = Attribute(node, "href")) facts.links.emplace_back(TextView(href.get()));
  }
}

bool IsDocument(const xmlNode* node) {
  return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
}

// What the events of one parse have gathered.
struct EventReader {
  explicit EventReader(PageFacts& gathered) : facts(gathered) {}

  PageFacts& facts;
  int title_depth = 0;     // the depth of the outermost open title; 0 when none is open
  std::string title_text;  // the text inside it so far
};

EventReader& ReaderOf(void* context) {
  return *static_cast<EventReader*>(static_cast<htmlParserCtxt*>(context)->_private);
}

// Stands for every element on the parser's node stack. The parser keeps that stack for the
// tree builder: it pops it itself after a start tag cut short, stops at a set depth when it is
// pushed, and looks at the current node when it weighs blanks. The events keep the stack as
// the tree builder does, with this node, which has no children, in each place.
xmlNode* StandInNode() {
  thread_local xmlNode node = [] {
    xmlNode made{};
    made.type = XML_ELEMENT_NODE;
    return made;
  }();
  return &node;
}

// The name the tree gives an element: it drops a prefix up to the first ":", unless the name
// starts or ends with that ":".
std::string_view LocalName(std::string_view name) {
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == name.size()) return name;
  return name.substr(colon + 1);
}

// The value of the first attribute named `name` (the parser gives names in lower case and drops
// repeated ones): nullptr when there is none, "" when it has no value, as in the tree.
const xmlChar* AttributeOf(const xmlChar** attributes, const char* name) {
  if (attributes == nullptr) return nullptr;
  for (size_t i = 0; attributes[i] != nullptr; i += 2) {
    if (xmlStrEqual(attributes[i], XmlName(name))) {
      return attributes[i + 1] == nullptr ? XmlName("") : attributes[i + 1];
    }
  }
  return nullptr;
}

void FinishTitle(EventReader& reader) {
  TakeTitle(reader.title_text, reader.facts);
  reader.title_depth = 0;
  reader.title_text.clear();
}

// Closes the title once the parser has popped it.
void CatchUp(const htmlParserCtxt& parser, EventReader& reader) {
  if (reader.title_depth != 0 && parser.nodeNr < reader.title_depth) FinishTitle(reader);
}

void OnStartElement(void* context, const xmlChar* name, const xmlChar** attributes) {
  auto* parser = static_cast<htmlParserCtxt*>(context);
  EventReader& reader = ReaderOf(context);
  if (name == nullptr) return;
  CatchUp(*parser, reader);
  // Too deep: the parse stops here, and the tree leaves this element out.
  if (nodePush(parser, StandInNode()) < 0) return;
  const std::string_view element = LocalName(TextView(name));
  if (EqualsIgnoringCase(element, "title")) {
    // A title inside an open one adds nothing: its text is part of the outer title's.
    if (!reader.facts.title && reader.title_depth == 0) reader.title_depth = parser->nodeNr;
  } else if (EqualsIgnoringCase(element, "meta")) {
    TakeMeta(AttributeOf(attributes, "name"), AttributeOf(attributes, "content"), reader.facts);
  } else if (reader.facts.links_read &&
             (EqualsIgnoringCase(element, "a") || EqualsIgnoringCase(element, "area"))) {
    if (const xmlChar* href = AttributeOf(attributes, "href")) {
      reader.facts.links.emplace_back(TextView(href));
    }
  }
}

// Closes the innermost open element, whatever its name, as the tree builder does.
void OnEndElement(void* context, const xmlChar*) {
  auto* parser = static_cast<htmlParserCtxt*>(context);
  EventReader& reader = ReaderOf(context);
  if (reader.title_depth != 0 && parser->nodeNr <= reader.title_depth) FinishTitle(reader);
  nodePop(parser);
}

// Text and CDATA alike: the tree's content of a title holds both.
void OnText(void* context, const xmlChar* text, int size) {
  EventReader& reader = ReaderOf(context);
  CatchUp(*static_cast<htmlParserCtxt*>(context), reader);
  if (reader.title_depth != 0) reader.title_text.append(reinterpret_cast<const char*>(text), size);
}

void OnNothing(void*) {}
void OnNothingNamed(void*, const xmlChar*) {}
void OnNothingWithData(void*, const xmlChar*, const xmlChar*) {}
void OnNothingDeclared(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

// The tree builder's handler with every event that builds a node replaced. No event is left
// without a handler, so the parser takes the same paths as when it builds the tree.
const xmlSAXHandler& EventHandler() {
  static const xmlSAXHandler handler = [] {
    xmlSAXHandler made = TreeHandler();
    made.internalSubset = OnNothingDeclared;
    made.startDocument = OnNothing;
    made.endDocument = OnNothing;
    made.startElement = OnStartElement;
    made.endElement = OnEndElement;
    made.characters = OnText;
    made.cdataBlock = OnText;
    made.processingInstruction = OnNothingWithData;
    made.comment = OnNothingNamed;
    return made;
  }();
  return handler;
}

}  // namespace

PageFacts ParsePageTree(const PageText& text, PageParts parts) {
  PageFacts facts;
  facts.links_read = parts == PageParts::kAll;
  if (text.bytes.empty() || text.bytes.size() > INT_MAX) return facts;
  std::unique_ptr<xmlDoc, DocFree> doc(Parse(ThisThreadsParser(TreeHandler()), text));
  if (!doc) return facts;

  // Walks the tree without recursion, so that deep nesting cannot exhaust the stack.
  xmlNode* node = doc->children;
  while (node != nullptr) {
    if (node->type == XML_ELEMENT_NODE) {
      Visit(node, facts);
      if (node->children != nullptr) {
        node = node->children;
        continue;
      }
    }
    while (node != nullptr && node->next == nullptr) {
      node = (node->parent == nullptr || IsDocument(node->parent)) ? nullptr : node->parent;
    }
    if (node != nullptr) node = node->next;
  }
  return facts;
}

PageFacts ParsePageEvents(const PageText& text, PageParts parts) {
  if (text.bytes.size() > kMaxEventPageBytes) return ParsePageTree(text, parts);
  PageFacts facts;
  facts.links_read = parts == PageParts::kAll;
  if (text.bytes.empty()) return facts;
  htmlParserCtxt* parser = ThisThreadsParser(EventHandler());
  if (parser == nullptr) return facts;
  EventReader reader(facts);
  parser->_private = &reader;
  // No event builds a node, so there is no document to free; the guard only makes sure.
  std::unique_ptr<xmlDoc, DocFree> doc(Parse(parser, text));
  parser->_private = nullptr;
  // A parse that stops early leaves the title open; the tree holds the text it had.
  if (reader.title_depth != 0) FinishTitle(reader);
  return facts;
}

}  // namespace corvina::sitehost
