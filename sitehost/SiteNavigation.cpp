#include "sitehost/SiteNavigation.h"

#include <utility>

#include "platform/PathConventions.h"
#include "platform/Text.h"
#include "sitehost/FolderWeb.h"
#include "sitehost/FolderWebFile.h"
#include "sitehost/SiteAddress.h"

namespace corvina {
namespace {

bool EndsWithPageExtension(std::string_view text) {
  return EndsWithIgnoringCase(text, ".htm") || EndsWithIgnoringCase(text, ".html");
}

// A page named by an outline line: a site-relative path, "\" read as "/".
FolderWebFile* FindOutlinePage(FolderWeb& web, std::string_view page) {
  std::string path(page);
  for (char& c : path) {
    if (c == '\\') c = kPathSeparatorChar;
  }
  const std::optional<std::string> normal = sitehost::NormalizeRelativePath(path);
  if (!normal || normal->empty()) return nullptr;
  return web.FindFile(*normal);
}

Error OutlineProblem(const sitehost::OutlineEntry& entry) {
  return Error{kErrFileNotFound, std::string(sitehost::kOutlineFileName) + " line " +
                                     std::to_string(entry.line) + ": there is no page \"" +
                                     entry.page + "\" in the site; the entry has no page"};
}

}  // namespace

SiteNavigation::SiteNavigation() {
  nodes_.emplace_back(std::string(), nullptr);
}

FolderNavigationNode* SiteNavigation::Add(std::optional<std::string> label, FolderWebFile* page,
                                          FolderNavigationNode* parent) {
  FolderNavigationNode* node = &nodes_.emplace_back(std::move(label), page);
  parent->AddChild(node);
  if (page != nullptr && page->navigation_node() == nullptr) page->set_navigation_node(node);
  return node;
}

SiteNavigation SiteNavigation::FromOutline(const std::vector<sitehost::OutlineEntry>& entries,
                                           FolderWeb& web, std::vector<Error>& problems) {
  SiteNavigation navigation;
  std::vector<FolderNavigationNode*> by_entry;
  by_entry.reserve(entries.size());
  for (const sitehost::OutlineEntry& entry : entries) {
    FolderNavigationNode* parent = entry.parent < 0 ? navigation.root() : by_entry[entry.parent];
    FolderWebFile* page = entry.page.empty() ? nullptr : FindOutlinePage(web, entry.page);
    std::optional<std::string> label;
    if (entry.separated) {
      label = entry.label;
      if (page == nullptr && !entry.page.empty()) problems.push_back(OutlineProblem(entry));
    } else if (page == nullptr) {
      label = entry.page;
      if (EndsWithPageExtension(entry.page)) problems.push_back(OutlineProblem(entry));
    }
    by_entry.push_back(navigation.Add(std::move(label), page, parent));
  }
  if (FolderWebFile* home = web.HomePage()) navigation.home_ = home->navigation_node();
  return navigation;
}

SiteNavigation SiteNavigation::FromLinks(FolderWeb& web) {
  SiteNavigation navigation;
  FolderWebFile* home = web.HomePage();
  if (home == nullptr) return navigation;
  navigation.home_ = navigation.Add(std::nullopt, home, navigation.root());
  const std::string site_folder = web.folder().string();
  // A deque of nodes never moves them, so the queue can index into it.
  for (size_t next = 1; next < navigation.nodes_.size(); ++next) {
    FolderNavigationNode* node = &navigation.nodes_[next];
    FolderWebFile* page = node->page();
    for (const std::string& href : page->Links()) {
      const std::optional<std::string> target =
          sitehost::ResolvePageLink(href, page->Folder(), site_folder);
      if (!target) continue;
      FolderWebFile* linked = web.FindFile(*target);
      if (linked == nullptr || !linked->IsPage() || linked->navigation_node() != nullptr) continue;
      navigation.Add(std::nullopt, linked, node);
    }
    page->ReleaseLinks();
  }
  return navigation;
}

std::vector<INavigationNode*> SiteNavigation::DepthFirst() {
  std::vector<INavigationNode*> order;
  order.reserve(nodes_.size() - 1);
  std::vector<std::pair<FolderNavigationNode*, size_t>> stack;  // node, next child to visit
  stack.emplace_back(root(), 0);
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    const std::vector<INavigationNode*>& children = node->children();
    if (next == children.size()) {
      stack.pop_back();
      continue;
    }
    // Every child is a node of this tree.
    auto* child = static_cast<FolderNavigationNode*>(children[next++]);
    order.push_back(child);
    stack.emplace_back(child, 0);
  }
  return order;
}

}  // namespace corvina
