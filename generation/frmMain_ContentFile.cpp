#include <unordered_set>
#include <utility>
#include <vector>

#include "generation/SitemapText.h"
#include "mainwindow/frmMain.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/ErrorReport.h"
#include "support/mTempFile.h"

namespace corvina {

using namespace Globals;
using namespace mTempFile;
namespace {

struct Level {
  INavigationNode* node;
  std::vector<INavigationNode*> children;
  size_t next = 0;
};

// Appends one entry: the label and, when the node has a page, its reference on the same line.
void AppendEntry(INavigationNode* child, std::string& s) {
  s += kEntryHead;
  s += kNameParam;
  s += SitemapValue(child->Label());
  s += kParamEnd;
  if (child->File() != nullptr) {
    s += kLocalParam;
    s += SitemapValue(ConvertURL(child->Url()));
    s += kParamEnd;
  }
  s += kEntryTail;
}

}  // namespace

// The list markup of a node's children, each child's own list following its entry. The walk
// keeps its own stack, so any depth works; a node that is already on the path from the root is
// listed but not entered again, so a navigation with a cycle ends. The same page reached along
// two paths is listed twice.
std::string frmMain::EnumNodes(INavigationNode* oNode) {
  ErrorReport report("frmMain", "EnumNodes");
  std::string s = "<UL>\r\n";
  std::vector<Level> stack;
  std::unordered_set<INavigationNode*> path{oNode};
  stack.push_back(Level{oNode, oNode->Children()});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next == level.children.size()) {
      s += "</UL>\r\n";
      path.erase(level.node);
      stack.pop_back();
      continue;
    }
    INavigationNode* child = level.children[level.next++];
    AppendEntry(child, s);
    std::vector<INavigationNode*> grandchildren = child->Children();
    if (!grandchildren.empty() && path.insert(child).second) {
      s += "<UL>\r\n";
      stack.push_back(Level{child, std::move(grandchildren)});
    }
  }
  return s;
}

bool frmMain::BuildContentFile() {
  ErrorReport report("frmMain", "BuildContentFile");
  std::string text;
  if (mWeb != nullptr) {
    text = EnumNodes(mWeb->RootNavigationNode());
  } else {
    report.Raise(Error{91, "Object variable or With block variable not set"});
  }
  text.insert(0, kSitemapHead);
  text += kSitemapTail;
  mContentsFile = TempFile(SiteFolder, "Corvina", "contents");
  return WriteFile(mContentsFile, std::move(text));
}

}  // namespace corvina
