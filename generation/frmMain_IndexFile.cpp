#include <string>
#include <utility>

#include "generation/SitemapText.h"
#include "mainwindow/frmMain.h"
#include "platform/IMessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Product.h"
#include "shared/Globals.h"
#include "shared/HostObjects.h"
#include "support/ErrorReport.h"
#include "support/mTempFile.h"

namespace corvina {

using namespace Globals;
using namespace mTempFile;

std::string frmMain::UseKeywords() {
  ErrorReport report("frmMain", "UseKeywords");
  // The list is built in place behind its opening tag, which stays only when entries follow.
  std::string s = "<UL>\r\n";
  const size_t empty_size = s.size();
  if (mWeb == nullptr) {
    report.Raise(Error{91, "Object variable or With block variable not set"});
    return {};
  }
  std::string t;
  for (IWebFile* file : mWeb->AllFiles()) {
    // A page without keywords simply contributes nothing.
    std::string k = file->Property("keywords").value_or(std::string());
    if (k.empty()) continue;
    INavigationNode* node = file->NavigationNode();
    t = SitemapValue(node != nullptr ? node->Label() : file->Title());
    for (char& c : k) {
      if (c == ';') c = ',';
    }
    const std::string local = SitemapValue(ConvertURL(file->Url()));
    size_t start = 0;
    while (true) {
      const size_t comma = k.find(',', start);
      const std::string_view piece =
          std::string_view(k).substr(start, comma == std::string::npos ? k.npos : comma - start);
      s += kEntryHead;
      s += kNameParam;
      s += SitemapValue(piece);
      s += kParamEnd;
      s += kNameParam;
      s += t;
      s += kParamEnd;
      s += kLocalParam;
      s += local;
      s += kParamEnd;
      s += kEntryTail;
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (s.size() == empty_size) return {};
  s += "</UL>\r\n";
  return s;
}

bool frmMain::BuildIndexFile() {
  ErrorReport report("frmMain", "BuildIndexFile");
  std::string s = UseKeywords();
  if (s.empty()) {
    MessageBoxes().Show(MessageBoxRequest{"No keywords were found! No index was created!",
                                          std::string(kProductName), Buttons::kOk,
                                          Icon::kExclamation});
    mUseKeywords = false;
    return true;
  }
  mIndexFile = TempFile(SiteFolder, "Corvina", "index");
  std::string text = std::move(s);
  text.insert(0, kSitemapHead);
  text += kSitemapTail;
  return WriteFile(mIndexFile, std::move(text));
}

}  // namespace corvina
