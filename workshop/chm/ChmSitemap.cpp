#include "workshop/chm/ChmSitemap.h"

#include <cctype>
#include <cstdlib>

#include "platform/TextEncoding.h"

namespace corvina::chm {
namespace {

// Lists nested deeper than this are read as one level: a hostile file cannot make the
// recursive walks of the tree overflow the stack.
constexpr size_t kMaxSitemapDepth = 256;

struct Attribute {
  std::string name;  // lower case
  std::string_view value;
};

struct Tag {
  std::string name;  // lower case, "/ul" for an end tag
  std::vector<Attribute> attributes;
  size_t end = 0;  // just past the ">"
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool IsNameChar(char c) {
  return c != '=' && c != '>' && c != '/' && c != '"' && c != '\'' && !IsBlank(c);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Where a quoted value that began at `start` ends. A generated sitemap does not escape the
// quotes inside a label, so a quote closes the value only where the tag ends or another
// attribute begins after it.
size_t ClosingQuote(std::string_view text, size_t start, char quote) {
  const size_t first = text.find(quote, start);
  for (size_t at = first; at != std::string_view::npos; at = text.find(quote, at + 1)) {
    size_t next = at + 1;
    while (next < text.size() && IsBlank(text[next]))
      ++next;
    if (next >= text.size() || text[next] == '>' || text.substr(next, 2) == "/>") return at;
    if (next == at + 1) continue;  // a letter right after the quote belongs to the value
    size_t name_end = next;
    while (name_end < text.size() && IsNameChar(text[name_end]))
      ++name_end;
    while (name_end < text.size() && IsBlank(text[name_end]))
      ++name_end;
    if (name_end > next && name_end < text.size() && text[name_end] == '=') return at;
  }
  return first;
}

// Reads the tag that starts at text[at] == '<'; false when it is not a tag.
bool ReadTag(std::string_view text, size_t at, Tag& tag) {
  size_t p = at + 1;
  const bool closing = p < text.size() && text[p] == '/';
  if (closing) ++p;
  const size_t name_start = p;
  while (p < text.size() && std::isalpha(static_cast<unsigned char>(text[p])))
    ++p;
  if (p == name_start) return false;
  tag.name = (closing ? "/" : "") + Lower(text.substr(name_start, p - name_start));
  tag.attributes.clear();
  while (p < text.size()) {
    while (p < text.size() && (IsBlank(text[p]) || text[p] == '/'))
      ++p;
    if (p >= text.size()) break;
    if (text[p] == '>') {
      tag.end = p + 1;
      return true;
    }
    const size_t attribute_start = p;
    while (p < text.size() && IsNameChar(text[p]))
      ++p;
    if (p == attribute_start) {  // a stray quote or "="
      ++p;
      continue;
    }
    Attribute attribute{Lower(text.substr(attribute_start, p - attribute_start)), {}};
    size_t q = p;
    while (q < text.size() && IsBlank(text[q]))
      ++q;
    if (q < text.size() && text[q] == '=') {
      ++q;
      while (q < text.size() && IsBlank(text[q]))
        ++q;
      if (q < text.size() && (text[q] == '"' || text[q] == '\'')) {
        const size_t close = ClosingQuote(text, q + 1, text[q]);
        const size_t end = close == std::string_view::npos ? text.size() : close;
        attribute.value = text.substr(q + 1, end - q - 1);
        p = end == text.size() ? end : end + 1;
      } else {
        const size_t value_start = q;
        while (q < text.size() && !IsBlank(text[q]) && text[q] != '>')
          ++q;
        attribute.value = text.substr(value_start, q - value_start);
        p = q;
      }
    }
    tag.attributes.push_back(std::move(attribute));
  }
  tag.end = text.size();
  return true;
}

std::string_view AttributeOf(const Tag& tag, std::string_view name) {
  for (const Attribute& attribute : tag.attributes) {
    if (attribute.name == name) return attribute.value;
  }
  return {};
}

// The value in UTF-8 with its character references decoded; an unknown reference stays as
// written.
std::string DecodeValue(std::string_view raw) {
  const std::string text = IsValidUtf8(raw) ? std::string(raw) : AnsiToUtf8(raw);
  static const std::pair<std::string_view, uint32_t> kNamed[] = {
      {"amp", '&'},   {"lt", '<'},    {"gt", '>'},    {"quot", '"'},
      {"apos", '\''}, {"nbsp", 0xA0}, {"copy", 0xA9}, {"reg", 0xAE},
  };
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t semicolon = text[at] == '&' ? text.find(';', at) : std::string::npos;
    if (semicolon == std::string::npos || semicolon - at > 10) {
      out += text[at];
      continue;
    }
    const std::string_view name = std::string_view(text).substr(at + 1, semicolon - at - 1);
    uint32_t code = 0;
    if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string digits(name.substr(hex ? 2 : 1));
      char* end = nullptr;
      const unsigned long value = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
      if (!digits.empty() && *end == '\0' && value > 0 && value < 0x110000) {
        code = static_cast<uint32_t>(value);
      }
    } else {
      for (const auto& [entity, value] : kNamed) {
        if (name == entity) code = value;
      }
    }
    if (code == 0) {
      out += text[at];
      continue;
    }
    // References 128-159 name Windows-1252 characters, as browsers read them.
    if (code >= 0x80 && code < 0xA0) {
      out += AnsiToUtf8(std::string(1, static_cast<char>(code)));
    } else {
      AppendUtf8(out, code);
    }
    at = semicolon;
  }
  return out;
}

class SitemapReader {
 public:
  std::vector<SitemapEntry> Read(std::string_view text) {
    Tag tag;
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
      if (text.substr(at, 4) == "<!--") {
        const size_t end = text.find("-->", at + 4);
        at = end == std::string_view::npos ? text.size() : end + 3;
        continue;
      }
      if (!ReadTag(text, at, tag)) {
        ++at;
        continue;
      }
      at = tag.end;
      OnTag(tag);
    }
    FinishEntry();
    return std::move(root_);
  }

 private:
  void OnTag(const Tag& tag) {
    if (tag.name == "param") {
      if (in_sitemap_object_) OnParam(Lower(AttributeOf(tag, "name")), AttributeOf(tag, "value"));
      return;
    }
    if (tag.name == "object") {
      FinishEntry();
      in_sitemap_object_ = Lower(AttributeOf(tag, "type")) == "text/sitemap";
      return;
    }
    if (tag.name == "/object" || tag.name == "li") {
      FinishEntry();
      return;
    }
    if (tag.name == "ul") {
      FinishEntry();
      if (lists_.empty()) {
        lists_.push_back(&root_);
      } else {
        std::vector<SitemapEntry>* current = lists_.back();
        const bool deeper = !current->empty() && lists_.size() < kMaxSitemapDepth;
        lists_.push_back(deeper ? &current->back().children : current);
      }
      return;
    }
    if (tag.name == "/ul") {
      FinishEntry();
      if (!lists_.empty()) lists_.pop_back();
    }
  }

  void OnParam(const std::string& name, std::string_view value) {
    if (name == "name") {
      if (!has_name_) {
        entry_.name = DecodeValue(value);
        has_name_ = true;
      } else {
        title_ = DecodeValue(value);
      }
    } else if (name == "local") {
      entry_.targets.push_back({std::move(title_), DecodeValue(value)});
      title_.clear();
    }
  }

  // Only the lists on the stack above the current one change while it is open, so the
  // pointers in `lists_` stay valid.
  void FinishEntry() {
    if (in_sitemap_object_ && (has_name_ || !entry_.targets.empty())) {
      (lists_.empty() ? root_ : *lists_.back()).push_back(std::move(entry_));
    }
    entry_ = {};
    title_.clear();
    has_name_ = false;
    in_sitemap_object_ = false;
  }

  std::vector<SitemapEntry> root_;
  std::vector<std::vector<SitemapEntry>*> lists_;
  SitemapEntry entry_;
  std::string title_;
  bool has_name_ = false;
  bool in_sitemap_object_ = false;
};

}  // namespace

std::vector<SitemapEntry> ParseSitemap(std::string_view text) {
  return SitemapReader().Read(text);
}

}  // namespace corvina::chm
