#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileStamp.h"
#include "platform/Status.h"

namespace corvina::sitehost {

// What the site host reads from a page. Texts are UTF-8.
struct PageFacts {
  // The first non-empty <title>, runs of blanks and control characters (tabs, line ends)
  // collapsed to one blank and trimmed; nullopt when the page has none.
  std::optional<std::string> title;
  // The contents of every <meta name="keywords"> in document order, the non-empty ones joined
  // with ","; control characters (tabs, line ends) inside read as blanks. nullopt when the page
  // has no such meta.
  std::optional<std::string> keywords;
  // The href of every <a> and <area>, in document order, as written; only when read with
  // PageParts::kAll (links_read).
  std::vector<std::string> links;
  bool links_read = false;
};

// What a read needs: the title and keywords only, or the links too. Title and keywords come
// out the same either way; kHead parses only the head when nothing after it could change them.
enum class PageParts { kHead, kAll };

// A page's bytes as they go to the HTML parser.
struct PageText {
  std::string bytes;     // without byte-order mark
  std::string encoding;  // "UTF-8" once decoded here, else a name the parser converts from
};

// Decides a page's encoding and decodes it. In order: a byte-order mark (UTF-8, UTF-16); the
// declared charset (meta charset, meta content "charset=", XML prolog encoding), where
// ISO-8859-1, ASCII and Windows-1252 all read as Windows-1252, as browsers do; else, and when
// UTF-8 is declared, every valid UTF-8 sequence is kept and every other byte is read as
// Windows-1252, so Latin-1 pages and pages with a stray Latin-1 byte both come out right.
PageText DecodePageBytes(std::string_view raw);

// Makes the parser ready for use on several threads at once; call before starting them.
void PreparePageReading();

// Parses a page of any quality; broken markup is repaired as browsers do. Never fails.
PageFacts ParsePage(std::string_view raw, PageParts parts = PageParts::kAll);

// Reads and parses a page file. Only the first kMaxPageBytes are read. `stamp`, when given,
// receives the file's stamp as it was read.
inline constexpr size_t kMaxPageBytes = 64u << 20;
Result<PageFacts> ReadPage(const std::filesystem::path& path, PageParts parts = PageParts::kAll,
                           FileStamp* stamp = nullptr);
// As above, for the page `name` in the open folder; `path` is the page's whole path, which
// messages name.
Result<PageFacts> ReadPage(const FolderHandle& folder, std::string_view name, std::string_view path,
                           PageParts parts, FileStamp* stamp);

// The first `limit` bytes of a file (all of a shorter one).
Result<std::string> ReadFileHead(const std::filesystem::path& path, size_t limit);

}  // namespace corvina::sitehost
