#pragma once

#include <QStringList>

#include "platform/IDialogs.h"

namespace corvina {

// The file dialogs and the folder browser as Qt's own (not the desktop's) dialogs, so that they
// look and answer the same everywhere. The Windows filter "description NUL pattern NUL ..."
// becomes Qt's "description (pattern)", matching either case of the pattern.
class QtDialogs : public IDialogs {
 public:
  FileDialogResult ShowFileDialog(const FileDialogRequest& request) override;
  std::string BrowseForFolder(const FolderDialogRequest& request) override;

  // The filter's entries as Qt name filters.
  static QStringList NameFilters(const std::string& filter);
};

}  // namespace corvina
