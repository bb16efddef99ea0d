#include "workshop/chm/ChmSitemap.h"

#include <cstdlib>

#include "platform/Text.h"
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

bool IsNameChar(char c) {
  return c != '=' && c != '>' && c != '/' && c != '"' && c != '\'' && !IsHtmlSpace(c);
}

// Where a quoted value that began at `start` ends. A generated sitemap does not escape the
// quotes inside a label, so a quote closes the value only where the tag ends or another
// attribute begins after it. `open_ended` is set when the answer depends on the end of `text`
// (more text could change it).
size_t ClosingQuote(std::string_view text, size_t start, char quote, bool& open_ended) {
  const size_t first = text.find(quote, start);
  for (size_t at = first; at != std::string_view::npos; at = text.find(quote, at + 1)) {
    size_t next = at + 1;
    while (next < text.size() && IsHtmlSpace(text[next]))
      ++next;
    if (next >= text.size()) {
      open_ended = true;
      return at;
    }
    if (text[next] == '>' || text.substr(next, 2) == "/>") return at;
    if (next == at + 1) continue;  // a letter right after the quote belongs to the value
    size_t name_end = next;
    while (name_end < text.size() && IsNameChar(text[name_end]))
      ++name_end;
    while (name_end < text.size() && IsHtmlSpace(text[name_end]))
      ++name_end;
    if (name_end > next && name_end < text.size() && text[name_end] == '=') return at;
  }
  open_ended = true;  // no quote up to the end closes the value
  return first;
}

// Reads the tag that starts at text[at] == '<'; false when it is not a tag. `open_ended` is
// set when what was read depends on the end of `text`: the tag (or the tag name) runs up to
// it, or a value's closing quote was chosen by what follows up to it.
bool ReadTag(std::string_view text, size_t at, Tag& tag, bool& open_ended) {
  open_ended = false;
  size_t p = at + 1;
  const bool closing = p < text.size() && text[p] == '/';
  if (closing) ++p;
  const size_t name_start = p;
  while (p < text.size() && IsAsciiLetter(text[p]))
    ++p;
  if (p == name_start) {
    open_ended = p >= text.size();
    return false;
  }
  tag.name = (closing ? "/" : "") + AsciiLowerCase(text.substr(name_start, p - name_start));
  tag.attributes.clear();
  while (p < text.size()) {
    while (p < text.size() && (IsHtmlSpace(text[p]) || text[p] == '/'))
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
    Attribute attribute{AsciiLowerCase(text.substr(attribute_start, p - attribute_start)), {}};
    size_t q = p;
    while (q < text.size() && IsHtmlSpace(text[q]))
      ++q;
    if (q < text.size() && text[q] == '=') {
      ++q;
      while (q < text.size() && IsHtmlSpace(text[q]))
        ++q;
      if (q < text.size() && (text[q] == '"' || text[q] == '\'')) {
        const size_t close = ClosingQuote(text, q + 1, text[q], open_ended);
        const size_t end = close == std::string_view::npos ? text.size() : close;
        attribute.value = text.substr(q + 1, end - q - 1);
        p = end == text.size() ? end : end + 1;
      } else {
        const size_t value_start = q;
        while (q < text.size() && !IsHtmlSpace(text[q]) && text[q] != '>')
          ++q;
        attribute.value = text.substr(value_start, q - value_start);
        p = q;
      }
    }
    tag.attributes.push_back(std::move(attribute));
  }
  tag.end = text.size();
  open_ended = true;
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

}  // namespace

// Reads tags from the text held so far, and keeps from the first tag that more text could
// still change. Lists are tracked by depth: a <UL> in a list that holds an entry opens the
// children of its last entry one level down; in a list without entries it stays in that list.
class SitemapStreamReader::Reader {
 public:
  explicit Reader(SitemapEntryHandler handler) : handler_(std::move(handler)) {}

  void Add(std::string_view text) {
    text_.append(text);
    // A tag that more text could still change is read again only once the text held has
    // doubled: a very long tag costs time in proportion to its length, not its square.
    if (text_.size() >= rescan_at_) Scan(false);
  }

  void Finish() {
    Scan(true);
    text_.clear();
    FinishEntry();
  }

 private:
  void Scan(bool at_end) {
    const std::string_view text = text_;
    size_t at = 0;
    for (at = text.find('<', at); at != std::string_view::npos; at = text.find('<', at)) {
      if (!at_end && text.size() - at < 4) break;  // perhaps the start of a comment
      if (text.substr(at, 4) == "<!--") {
        const size_t end = text.find("-->", at + 4);
        if (end == std::string_view::npos && !at_end) break;
        at = end == std::string_view::npos ? text.size() : end + 3;
        continue;
      }
      bool open_ended = false;
      const bool is_tag = ReadTag(text, at, tag_, open_ended);
      if (open_ended && !at_end) break;
      if (!is_tag) {
        ++at;
        continue;
      }
      at = tag_.end;
      OnTag(tag_);
    }
    // What is before `at` is read; text without a "<" holds nothing to read.
    text_.erase(0, at == std::string_view::npos ? text_.size() : at);
    rescan_at_ = 2 * text_.size();
  }

  void OnTag(const Tag& tag) {
    if (tag.name == "param") {
      if (in_sitemap_object_)
        OnParam(AsciiLowerCase(AttributeOf(tag, "name")), AttributeOf(tag, "value"));
      return;
    }
    if (tag.name == "object") {
      FinishEntry();
      in_sitemap_object_ = AsciiLowerCase(AttributeOf(tag, "type")) == "text/sitemap";
      return;
    }
    if (tag.name == "/object" || tag.name == "li") {
      FinishEntry();
      return;
    }
    if (tag.name == "ul") {
      FinishEntry();
      if (lists_.empty()) {
        lists_.push_back(0);
      } else {
        const size_t depth = lists_.back();
        const bool deeper = depth < filled_.size() && filled_[depth];
        lists_.push_back(deeper && lists_.size() < kMaxSitemapDepth ? depth + 1 : depth);
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

  void FinishEntry() {
    if (in_sitemap_object_ && (has_name_ || !entry_.targets.empty())) {
      const size_t depth = lists_.empty() ? 0 : lists_.back();
      // The list at `depth` holds an entry now, and the one below it is this entry's own.
      filled_.resize(depth + 1);
      filled_[depth] = true;
      handler_(depth, entry_);
    }
    entry_ = {};
    title_.clear();
    has_name_ = false;
    in_sitemap_object_ = false;
  }

  SitemapEntryHandler handler_;
  std::string text_;  // not read yet
  size_t rescan_at_ = 0;
  Tag tag_;
  std::vector<size_t> lists_;  // depths of the open lists, innermost last
  std::vector<bool> filled_;   // per depth: the current list there holds an entry
  SitemapEntry entry_;
  std::string title_;
  bool has_name_ = false;
  bool in_sitemap_object_ = false;
};

SitemapStreamReader::SitemapStreamReader(SitemapEntryHandler handler)
    : reader_(std::make_unique<Reader>(std::move(handler))) {}

SitemapStreamReader::~SitemapStreamReader() = default;

void SitemapStreamReader::Add(std::string_view text) {
  reader_->Add(text);
}

void SitemapStreamReader::Finish() {
  reader_->Finish();
}

std::vector<SitemapEntry> ParseSitemap(std::string_view text) {
  // lists[d]: where entries at depth d go, the children of the last entry at depth d - 1.
  std::vector<SitemapEntry> root;
  std::vector<std::vector<SitemapEntry>*> lists = {&root};
  SitemapStreamReader reader([&](size_t depth, SitemapEntry& entry) {
    lists.resize(std::min(depth + 1, lists.size()));
    std::vector<SitemapEntry>& list = *lists.back();
    list.push_back(std::move(entry));
    lists.push_back(&list.back().children);
  });
  reader.Add(text);
  reader.Finish();
  return root;
}

namespace {

void Walk(const std::vector<SitemapEntry>& list, size_t depth, const SitemapEntryHandler& handler) {
  for (const SitemapEntry& entry : list) {
    SitemapEntry alone{entry.name, entry.targets, {}};
    handler(depth, alone);
    Walk(entry.children, depth + 1, handler);
  }
}

}  // namespace

void WalkSitemap(const std::vector<SitemapEntry>& tree, const SitemapEntryHandler& handler) {
  Walk(tree, 0, handler);
}

}  // namespace corvina::chm
