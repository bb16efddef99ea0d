#include "sitehost/SiteAddress.h"

#include <vector>

#include "platform/PathConventions.h"
#include "platform/TextEncoding.h"

namespace corvina::sitehost {
namespace {

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string FolderFileUrl(const std::filesystem::path& folder) {
  return std::string(kFileUrlPrefix) + folder.string();
}

std::optional<std::string> NormalizeRelativePath(std::string_view path) {
  // Most paths are normal already; one pass over them says so, without splitting them.
  for (size_t start = 0;;) {
    size_t end = path.find(kPathSeparatorChar, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") break;
    if (end == path.size()) return std::string(path);
    start = end + 1;
  }
  std::vector<std::string_view> segments;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(kPathSeparatorChar, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "..") {
      if (segments.empty()) return std::nullopt;
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string joined;
  for (const std::string_view segment : segments) {
    if (!joined.empty()) joined += kPathSeparatorChar;
    joined += segment;
  }
  return joined;
}

std::optional<std::string_view> RemainderBelow(std::string_view address, std::string_view base) {
  if (address.size() < base.size() || address.substr(0, base.size()) != base) return std::nullopt;
  std::string_view rest = address.substr(base.size());
  if (rest.empty()) return rest;
  // A base that ends in "/" (the root folder) already holds the separator.
  if (!base.empty() && base.back() == kPathSeparatorChar) return rest;
  if (rest.front() != kPathSeparatorChar) return std::nullopt;
  return rest.substr(1);
}

bool HasUrlScheme(std::string_view reference) {
  if (reference.empty() || !IsAsciiAlpha(reference.front())) return false;
  for (size_t i = 1; i < reference.size(); ++i) {
    const char c = reference[i];
    if (c == ':') return true;
    const bool scheme_char =
        IsAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!scheme_char) return false;
  }
  return false;
}

std::optional<std::string> ResolvePageLink(std::string_view href, std::string_view page_folder,
                                           std::string_view site_folder) {
  constexpr std::string_view kBlanks = " \t\r\n\f";
  const size_t first = href.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::nullopt;
  href = href.substr(first, href.find_last_not_of(kBlanks) - first + 1);
  href = href.substr(0, href.find_first_of("#?"));
  if (href.empty()) return std::nullopt;

  std::string path;
  if (HasUrlScheme(href)) {
    // Only a file address can name a page of the site; "file:" + "//" + absolute path.
    constexpr std::string_view kFileScheme = "file:";
    if (href.size() < kFileScheme.size() || href.substr(0, kFileScheme.size()) != kFileScheme) {
      return std::nullopt;
    }
    std::string_view rest = href.substr(kFileScheme.size());
    if (rest.substr(0, 2) == "//") rest.remove_prefix(2);
    path = PercentDecode(rest);
  } else {
    path = PercentDecode(href);
  }
  for (char& c : path) {
    if (c == '\\') c = kPathSeparatorChar;
  }

  std::string relative;
  if (!path.empty() && path.front() == kPathSeparatorChar) {
    if (path.substr(0, 2) == "//") return std::nullopt;  // a network share
    const std::optional<std::string_view> below = RemainderBelow(path, site_folder);
    if (!below) return std::nullopt;
    relative = std::string(*below);
  } else if (page_folder.empty()) {
    relative = path;
  } else {
    relative = std::string(page_folder) + kPathSeparatorChar + path;
  }
  std::optional<std::string> normal = NormalizeRelativePath(relative);
  if (!normal || normal->empty()) return std::nullopt;
  return normal;
}

}  // namespace corvina::sitehost
