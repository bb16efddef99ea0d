#pragma once

#include <deque>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "sitehost/FolderNavigationNode.h"
#include "sitehost/NavigationOutline.h"

namespace corvina {

class FolderWeb;
class FolderWebFile;

// The navigation tree of a folder-backed site. The root has no label and no page; its children
// are the top entries. Each page's own node (FolderWebFile::navigation_node) is the first node
// in depth-first order that stands for it.
class SiteNavigation {
 public:
  SiteNavigation();
  SiteNavigation(SiteNavigation&&) = default;
  SiteNavigation& operator=(SiteNavigation&&) = default;

  // From the outline file. A line names a file by its site-relative path ("/" or "\", any
  // case when unambiguous). A line whose page is not in the site becomes a node with the
  // line's label and no page, so that its children keep their place; such a line is noted in
  // `problems` when it has a "|" or its text ends in a page extension (a plain text line is a
  // label on purpose).
  static SiteNavigation FromOutline(const std::vector<sitehost::OutlineEntry>& entries,
                                    FolderWeb& web, std::vector<Error>& problems);

  // From the home page's links: its children are the pages it links to, then theirs, breadth
  // first, each page once, so link cycles end. Empty when the site has no home page.
  static SiteNavigation FromLinks(FolderWeb& web);

  FolderNavigationNode* root() { return &nodes_.front(); }
  FolderNavigationNode* home() { return home_; }
  // Every node but the root, depth first: parents before children, children in order.
  std::vector<INavigationNode*> DepthFirst();

 private:
  FolderNavigationNode* Add(std::optional<std::string> label, FolderWebFile* page,
                            FolderNavigationNode* parent);

  std::deque<FolderNavigationNode> nodes_;  // nodes_[0] is the root; addresses stay put
  FolderNavigationNode* home_ = nullptr;
};

}  // namespace corvina
