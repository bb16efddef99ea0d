#pragma once

#include <cstdint>
#include <string>

namespace corvina {

// Flags of the file dialog, with the Windows numbers.
inline constexpr uint32_t kOfnReadOnly = 0x1;
inline constexpr uint32_t kOfnHideReadOnly = 0x4;
inline constexpr uint32_t kOfnEnableHook = 0x20;
inline constexpr uint32_t kOfnEnableTemplate = 0x40;
inline constexpr uint32_t kOfnAllowMultiSelect = 0x200;
inline constexpr uint32_t kOfnFileMustExist = 0x1000;

// Flags of the folder browser.
inline constexpr uint32_t kBifReturnOnlyFsDirs = 0x1;
inline constexpr uint32_t kBifStatusText = 0x4;
inline constexpr uint32_t kBifNewDialogStyle = 0x40;

// A file-open or file-save dialog request. The two buffers have the size the dialog may fill:
// they start with the initial text, followed by NUL characters up to that size.
struct FileDialogRequest {
  bool save = false;
  intptr_t owner = 0;        // the owner window (a Form's hWnd), 0 for none
  std::string filter;        // description, NUL, pattern, NUL, ..., ending with two NULs
  int32_t filter_index = 0;  // 1-based
  std::string file;          // file buffer
  std::string file_title;    // title buffer, of the same size
  std::string initial_folder;
  std::string title;
  uint32_t flags = 0;
  std::string default_extension;
};

// What the dialog gives back. When a file was chosen, file holds its full path and a NUL (with
// multiple selection: the folder, a NUL, each name and a NUL, and one more NUL), file_title
// the chosen name and a NUL; neither is longer than the request's buffer.
struct FileDialogResult {
  bool chosen = false;
  std::string file;
  std::string file_title;
  uint32_t flags = 0;
  int32_t filter_index = 0;
};

struct FolderDialogRequest {
  intptr_t owner = 0;
  std::string title;  // the prompt above the folder tree
  uint32_t flags = kBifReturnOnlyFsDirs | kBifStatusText | kBifNewDialogStyle;
};

// The platform's file and folder dialogs. The front end supplies them: console prompts on the
// command line, windows in the GUI, scripted answers in tests.
class IDialogs {
 public:
  virtual ~IDialogs() = default;
  virtual FileDialogResult ShowFileDialog(const FileDialogRequest& request) = 0;
  // The chosen folder's full path, or the empty text when the user cancels.
  virtual std::string BrowseForFolder(const FolderDialogRequest& request) = 0;
};

}  // namespace corvina
