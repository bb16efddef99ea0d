#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/IDialogs.h"

namespace corvina {

// Records every dialog and answers from a script (a path, or nullopt to cancel). A dialog the
// test did not script fails the test and is cancelled.
class FakeDialogs : public IDialogs {
 public:
  static std::optional<std::string> Choose(std::string path) { return path; }
  static std::optional<std::string> Cancel() { return std::nullopt; }

  std::vector<FileDialogRequest> file_requests;
  std::vector<FolderDialogRequest> folder_requests;
  std::deque<std::optional<std::string>> file_answers;
  std::deque<std::optional<std::string>> folder_answers;

  FileDialogResult ShowFileDialog(const FileDialogRequest& request) override {
    file_requests.push_back(request);
    const std::optional<std::string> answer = Next(file_answers, request.title);
    if (!answer) return FileDialogResult{};
    if (answer->size() + 2 > request.file.size()) {
      ADD_FAILURE() << "scripted path does not fit the dialog's buffer: " << *answer;
      return FileDialogResult{};
    }
    FileDialogResult result;
    result.chosen = true;
    result.flags = request.flags;
    result.filter_index = request.filter_index;
    result.file = *answer;
    result.file.resize(request.file.size(), '\0');
    result.file_title = answer->substr(answer->find_last_of('/') + 1);
    result.file_title.resize(request.file_title.size(), '\0');
    return result;
  }

  std::string BrowseForFolder(const FolderDialogRequest& request) override {
    folder_requests.push_back(request);
    return Next(folder_answers, request.title).value_or(std::string());
  }

 private:
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers,
                                         const std::string& title) {
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted dialog: " << title;
      return std::nullopt;
    }
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace corvina
