#include "sitehost/SiteAddress.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace corvina::sitehost {
namespace {

TEST(SiteAddressTest, ResolvesLinksInsideTheSiteOnly) {
  const std::string site = "/home/a/My Site";
  const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
      {"b.htm", "", "b.htm"},
      {"b.htm", "guide", "guide/b.htm"},
      {"../index.htm#top", "guide", "index.htm"},
      {" My%20Page.htm?x=1 ", "", "My Page.htm"},
      {"caf%C3%A9.htm", "", "caf\u00e9.htm"},
      {"folder\\page.htm", "", "folder/page.htm"},
      {"100%.htm", "", "100%.htm"},
      {"#top", "", std::nullopt},
      {"", "", std::nullopt},
      {"../../outside.htm", "guide", std::nullopt},
      {"http://example.com/a.htm", "", std::nullopt},
      {"mailto:x@example.com", "", std::nullopt},
      {"javascript:void(0)", "", std::nullopt},
      {"file:///home/a/My%20Site/guide/b.htm", "", "guide/b.htm"},
      {"file:///home/a/Other/b.htm", "", std::nullopt},
      {"/home/a/My Site/b.htm", "guide", "b.htm"},
      {"/etc/passwd", "", std::nullopt},
      {"//server/share/b.htm", "", std::nullopt},
      {"guide/", "", "guide"},
  };
  for (const auto& [href, folder, expected] : cases) {
    SCOPED_TRACE(href);
    EXPECT_EQ(ResolvePageLink(href, folder, site), expected);
  }
}

TEST(SiteAddressTest, NormalizesRelativePaths) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"a/b.htm", "a/b.htm"},
      {"..a/b../.c", "..a/b../.c"},
      {"a//b.htm", "a/b.htm"},
      {"/a/b/", "a/b"},
      {"./a/./b", "a/b"},
      {"a/../b", "b"},
      {"a/b/..", "a"},
      {"a/.", "a"},
      {"", ""},
      {"..", std::nullopt},
      {"a/../../b", std::nullopt},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(NormalizeRelativePath(path), expected);
  }
}

}  // namespace
}  // namespace corvina::sitehost
