#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/IDialogs.h"

namespace corvina {

// Records every dialog and answers from a script. A dialog the test did not script fails the
// test and is cancelled.
class FakeDialogs : public IDialogs {
 public:
  struct FileAnswer {
    std::optional<std::string> chosen;  // the buffer's text (a path); nullopt cancels
    uint32_t add_flags = 0;             // e.g. kOfnReadOnly: the read-only box was ticked
    int32_t filter_index = 0;           // 0: the one asked for
  };
  static FileAnswer Choose(std::string path) { return FileAnswer{std::move(path)}; }
  static FileAnswer Cancel() { return FileAnswer{}; }

  std::vector<FileDialogRequest> file_requests;
  std::vector<FolderDialogRequest> folder_requests;
  std::deque<FileAnswer> file_answers;
  std::deque<std::optional<std::string>> folder_answers;  // nullopt cancels

  FileDialogResult ShowFileDialog(const FileDialogRequest& request) override {
    file_requests.push_back(request);
    if (file_answers.empty()) {
      ADD_FAILURE() << "unscripted file dialog: " << request.title;
      return FileDialogResult{};
    }
    FileAnswer answer = file_answers.front();
    file_answers.pop_front();
    if (!answer.chosen) return FileDialogResult{};
    FileDialogResult result;
    result.chosen = true;
    result.flags = request.flags | answer.add_flags;
    result.filter_index = answer.filter_index != 0 ? answer.filter_index : request.filter_index;
    result.file = *answer.chosen;
    if (result.file.size() + 2 > request.file.size()) {
      ADD_FAILURE() << "scripted path does not fit the dialog's buffer: " << *answer.chosen;
      return FileDialogResult{};
    }
    result.file.resize(request.file.size(), '\0');
    const std::string path = answer.chosen->substr(0, answer.chosen->find('\0'));
    result.file_title = path.substr(path.find_last_of('/') + 1);
    result.file_title.resize(request.file_title.size(), '\0');
    return result;
  }

  std::string BrowseForFolder(const FolderDialogRequest& request) override {
    folder_requests.push_back(request);
    if (folder_answers.empty()) {
      ADD_FAILURE() << "unscripted folder dialog: " << request.title;
      return std::string();
    }
    std::optional<std::string> answer = folder_answers.front();
    folder_answers.pop_front();
    return answer.value_or(std::string());
  }
};

}  // namespace corvina
