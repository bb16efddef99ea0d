#include "workshop/common/HhcSitemap.h"

#include <cctype>
#include <string>

#include "platform/Text.h"
#include "platform/TextEncoding.h"
#include "workshop/common/HhcProject.h"

namespace corvina::workshop {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

// The sitemap names pages in Windows-1252, while chmcmd stores them under their UTF-8 names
// on disk: a non-ASCII "Local" name would point at nothing in the compiled file.
std::string ReencodeSitemapLocals(std::string_view sitemap, const std::filesystem::path& folder) {
  constexpr std::string_view kParam = "<param name=\"local\" value=\"";
  std::string out;
  bool changed = false;
  size_t copied = 0;
  for (size_t at = 0; at + kParam.size() <= sitemap.size(); ++at) {
    if (sitemap[at] != '<' || !EqualsIgnoringCase(sitemap.substr(at, kParam.size()), kParam)) {
      continue;
    }
    const size_t start = at + kParam.size();
    const size_t end = sitemap.find('"', start);
    if (end == std::string_view::npos) break;
    std::string_view value = sitemap.substr(start, end - start);
    at = end;
    if (IsAscii(value)) continue;
    // An anchor or a query stays as it is; only the file's name is looked up.
    const size_t mark = value.find_first_of("#?");
    std::string relative;
    if (ResolveProjectName(folder, value.substr(0, mark), relative) != Resolution::kFound) {
      continue;
    }
    if (mark != std::string_view::npos) relative += value.substr(mark);
    if (relative == value) continue;
    out.append(sitemap.substr(copied, start - copied));
    out += relative;
    copied = end;
    changed = true;
  }
  if (!changed) return {};
  out.append(sitemap.substr(copied));
  return out;
}

}  // namespace corvina::workshop

namespace corvina::workshop {

// chmcmd reads an index entry's keyword (its first "Name") as UTF-8 when it builds the binary
// index, while the topic titles and labels go into the 8-bit strings the viewer reads as
// Windows-1252. Only the keywords are converted; an index that is already UTF-8 is left alone.
std::string ReencodeIndexKeywords(std::string_view index) {
  constexpr std::string_view kObject = "<object";
  constexpr std::string_view kName = "<param name=\"name\" value=\"";
  if (IsAscii(index) || IsValidUtf8(index)) return {};
  std::string out;
  size_t copied = 0;
  bool in_object = false;
  bool changed = false;
  for (size_t at = 0; at < index.size(); ++at) {
    if (index[at] != '<') continue;
    if (EqualsIgnoringCase(index.substr(at, kObject.size()), kObject)) {
      in_object = true;
      continue;
    }
    if (!in_object || !EqualsIgnoringCase(index.substr(at, kName.size()), kName)) continue;
    in_object = false;  // only the first name of an entry is its keyword
    const size_t start = at + kName.size();
    const size_t end = index.find('"', start);
    if (end == std::string_view::npos) break;
    std::string_view keyword = index.substr(start, end - start);
    at = end;
    if (IsAscii(keyword)) continue;
    out.append(index.substr(copied, start - copied));
    out += AnsiToUtf8(keyword);
    copied = end;
    changed = true;
  }
  if (!changed) return {};
  out.append(index.substr(copied));
  return out;
}

}  // namespace corvina::workshop
