#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IDialogs.h"

namespace corvina {

struct ConsoleDialogsOptions {
  std::FILE* in = stdin;
  std::FILE* out = stderr;
  std::optional<bool> interactive;  // unset: when both streams are terminals
};

// The dialogs of the command line: the dialog's title is the prompt on stderr and the answer
// is a path typed on the terminal ("~/" and relative paths are made absolute; an empty line or
// end of input cancels). A path the dialog cannot take (no such file where one must exist, a
// folder, longer than the buffer) is explained and asked again. Without a terminal every
// dialog is cancelled with a note on stderr, so that scripts never hang.
class ConsoleDialogs : public IDialogs {
 public:
  explicit ConsoleDialogs(ConsoleDialogsOptions options = {});

  FileDialogResult ShowFileDialog(const FileDialogRequest& request) override;
  std::string BrowseForFolder(const FolderDialogRequest& request) override;

 private:
  // The next answer as an absolute path; nullopt when the user cancels.
  std::optional<std::string> Ask(std::string_view title);
  void Say(std::string_view text);

  ConsoleDialogsOptions options_;
  bool interactive_;
};

}  // namespace corvina
