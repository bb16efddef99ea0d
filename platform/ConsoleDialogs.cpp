#include "platform/ConsoleDialogs.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/Product.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

std::string Absolute(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);  // a pasted, quoted path
  }
  if (text == "~" || text.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    if (home != nullptr) text = std::string(home) + text.substr(1);
  }
  std::error_code ec;
  fs::path path = fs::absolute(text, ec);
  if (ec) path = text;
  std::string normal = path.lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/')
    normal.pop_back();
  return normal;
}

}  // namespace

ConsoleDialogs::ConsoleDialogs(ConsoleDialogsOptions options) : options_(options) {
  interactive_ = options_.interactive.value_or(::isatty(::fileno(options_.in)) == 1 &&
                                               ::isatty(::fileno(options_.out)) == 1);
}

void ConsoleDialogs::Say(std::string_view text) {
  PrintMessage(text, options_.out);
}

std::optional<std::string> ConsoleDialogs::Ask(std::string_view title) {
  PrintMessage(title, options_.out, " (empty line cancels): ");
  std::string line;
  int c;
  while ((c = std::fgetc(options_.in)) != EOF && c != '\n')
    line += static_cast<char>(c);
  if (c == EOF) std::fputc('\n', options_.out);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return std::nullopt;
  return Absolute(line);
}

FileDialogResult ConsoleDialogs::ShowFileDialog(const FileDialogRequest& request) {
  if (!interactive_) {
    Say(request.title + ": no terminal to ask on; cancelled");
    return FileDialogResult{};
  }
  const bool multi = (request.flags & kOfnAllowMultiSelect) != 0;
  while (true) {
    std::optional<std::string> answer = Ask(request.title);
    if (!answer) return FileDialogResult{};
    std::string path = *answer;
    std::error_code ec;
    if (request.save && fs::path(path).extension().empty() && !request.default_extension.empty()) {
      std::string_view extension = request.default_extension;
      if (extension.starts_with("*")) extension.remove_prefix(1);
      if (extension.starts_with(".")) extension.remove_prefix(1);
      if (!extension.empty() && extension != "*") {
        path += '.';
        path += extension;
      }
    }
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
      Say(path + " is a folder; give a file");
      continue;
    }
    if (!request.save && (request.flags & kOfnFileMustExist) && !fs::is_regular_file(status)) {
      Say(path + ": no such file");
      continue;
    }
    if (request.save && !fs::is_directory(fs::path(path).parent_path(), ec)) {
      Say(fs::path(path).parent_path().string() + ": no such folder");
      continue;
    }
    // The path and its NUL (two with multiple selection) must fit the dialog's buffer.
    const size_t room = request.file.size() - (multi ? 2 : 1);
    if (request.file.size() < 2 || path.size() > room) {
      Say("the path is longer than " + std::to_string(request.file.size() < 2 ? 0 : room) +
          " bytes; choose a shorter one");
      continue;
    }
    FileDialogResult result;
    result.chosen = true;
    result.file = path;
    result.file.resize(request.file.size(), '\0');
    result.file_title = fs::path(path).filename().string();
    result.file_title.resize(request.file_title.size(), '\0');
    result.flags = request.flags & ~kOfnReadOnly;
    result.filter_index = request.filter_index > 0 ? request.filter_index : 1;
    return result;
  }
}

std::string ConsoleDialogs::BrowseForFolder(const FolderDialogRequest& request) {
  if (!interactive_) {
    Say(request.title + ": no terminal to ask on; cancelled");
    return std::string();
  }
  while (true) {
    std::optional<std::string> answer = Ask(request.title);
    if (!answer) return std::string();
    std::error_code ec;
    if (fs::is_directory(*answer, ec)) return *answer;
    Say(*answer + ": no such folder");
  }
}

}  // namespace corvina
