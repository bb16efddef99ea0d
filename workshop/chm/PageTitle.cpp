#include "workshop/chm/PageTitle.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "workshop/chm/ChmFullTextWords.h"
#include "workshop/chm/HtmlEntities.h"
#include "workshop/chm/HtmlScanner.h"

namespace corvina::chm {
namespace {

constexpr size_t kNpos = std::string_view::npos;

// A <title> element of a page: its text as written, and whether its end tag follows.
struct RawTitle {
  std::string_view text;
  bool closed = true;
};

// Collects the <title> elements of a page.
class TitleFinder : public HtmlVisitor {
 public:
  explicit TitleFinder(std::string_view page) : page_(page) {}

  void Tag(const HtmlTag& tag) override {
    waiting_ = false;
    if (tag.end || tag.name != "title") return;
    // A title written as <title/> is empty; so is one whose end tag follows at once (the
    // scanner then gives no text).
    titles_.emplace_back();
    waiting_ = !tag.self_closing;
  }
  // Comes right after the start tag of its element.
  void RawText(std::string_view element, std::string_view text) override {
    if (!waiting_ || element != "title") return;
    waiting_ = false;
    // Without its end tag, the text runs to the end of the page.
    titles_.back() = {text, text.data() + text.size() != page_.data() + page_.size()};
  }

  const std::vector<RawTitle>& titles() const { return titles_; }

 private:
  std::string_view page_;
  std::vector<RawTitle> titles_;
  bool waiting_ = false;  // a title's start tag was the last thing read
};

// The title's text as written, in UTF-8 -> what the title bar shows.
std::string TitleText(std::string_view raw) {
  std::string decoded;
  decoded.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    if (c == '<' && i + 1 < raw.size()) {
      const char next = raw[i + 1];
      if (raw.compare(i, 4, "<!--") == 0) {
        const size_t close = raw.find("-->", i + 4);
        i = close == kNpos ? raw.size() : close + 3;
        continue;
      }
      if (IsAsciiLetter(next) || next == '!' || next == '?' ||
          (next == '/' && i + 2 < raw.size() && IsAsciiLetter(raw[i + 2]))) {
        const size_t close = raw.find('>', i);
        i = close == kNpos ? raw.size() : close + 1;
        continue;
      }
    }
    if (c == '&') {
      if (const std::optional<HtmlReference> reference = ReadHtmlReference(raw, i)) {
        AppendUtf8(decoded, reference->code_point);
        i = reference->end;
        continue;
      }
    }
    decoded += c;
    ++i;
  }
  std::string text;
  text.reserve(decoded.size());
  for (char c : decoded) {
    if (static_cast<uint8_t>(c) < 0x20 && !IsHtmlSpace(c)) continue;  // NUL would end the title
    if (!IsHtmlSpace(c)) {
      text += c;
    } else if (!text.empty() && text.back() != ' ') {
      text += ' ';
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// How a page's bytes become UTF-8: in the charset the page declares; else each valid UTF-8
// sequence as UTF-8 and every other byte as Windows-1252, as the site's own page reading does.
class PageDecoder {
 public:
  explicit PageDecoder(std::string_view html) : declared_(ReadDeclaredCharset(html)) {
    // The markup was read as ASCII: a charset that reads ASCII otherwise (UTF-32, EBCDIC...)
    // cannot be what the page is in.
    static constexpr std::string_view kProbe = "<title>&#;";
    std::string& unread = declared_.unread;
    if (!unread.empty() && CharsetToUtf8(unread, kProbe) != kProbe) unread.clear();
  }

  std::string ToUtf8(std::string_view bytes) const {
    // A charset the search index does not read is converted by the system.
    if (!declared_.unread.empty()) {
      if (std::optional<std::string> utf8 = CharsetToUtf8(declared_.unread, bytes)) {
        return std::move(*utf8);
      }
    }
    return declared_.windows_1252 ? AnsiToUtf8(bytes) : DecodeUtf8OrWindows1252(bytes);
  }

 private:
  DeclaredCharset declared_;
};

// Where a title without its end tag ends: at a misspelt end tag ("</title<p>"), else at the
// first tag.
size_t UnclosedTitleEnd(std::string_view raw) {
  if (const size_t end = FindIgnoringCase(raw, "</title"); end != kNpos) return end;
  for (size_t i = raw.find('<'); i != kNpos && i + 1 < raw.size(); i = raw.find('<', i + 1)) {
    const char next = raw[i + 1];
    if (IsAsciiLetter(next) || (next == '/' && i + 2 < raw.size() && IsAsciiLetter(raw[i + 2]))) {
      return i;
    }
  }
  return raw.size();
}

// The first title of `page` that shows any text. `closed_only`: a title without its end tag
// does not count.
std::string FirstTitle(const PageDecoder& decoder, std::string_view page, bool closed_only) {
  TitleFinder finder(page);
  ScanHtml(page, finder);
  for (const RawTitle& title : finder.titles()) {
    if (closed_only && !title.closed) break;
    const std::string_view raw =
        title.closed ? title.text : title.text.substr(0, UnclosedTitleEnd(title.text));
    std::string text = TitleText(decoder.ToUtf8(raw));
    if (!text.empty()) return text;
  }
  return {};
}

}  // namespace

std::string ReadPageTitle(std::string_view html) {
  if (html.starts_with("\xFF\xFE") || html.starts_with("\xFE\xFF")) {
    const std::optional<std::string> utf8 = CharsetToUtf8("UTF-16", html);
    return utf8 ? ReadPageTitle(*utf8) : std::string();
  }
  // The title sits in the head: first read only up to the first "</title" when there is one.
  // That can cut a comment or script that holds the text; then the whole page is read.
  static constexpr std::string_view kEnd = "</title";
  const size_t end = FindIgnoringCase(html, kEnd);
  const PageDecoder decoder(html);
  if (end != kNpos) {
    const size_t cut = end + kEnd.size();
    std::string title = FirstTitle(decoder, html.substr(0, cut), true);
    if (!title.empty()) return title;
  }
  return FirstTitle(decoder, html, false);
}

}  // namespace corvina::chm
