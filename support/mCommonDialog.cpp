#include "support/mCommonDialog.h"

#include "platform/IDialogs.h"
#include "platform/Platform.h"
#include "support/ErrorReport.h"

namespace corvina::mCommonDialog {
namespace {

// "|" and ":" separate the parts; the list ends with two NULs.
std::string TranslateFilter(std::string_view sFilter) {
  std::string translated(sFilter);
  for (char& c : translated) {
    if (c == '|' || c == ':') c = '\0';
  }
  translated.append(2, '\0');
  return translated;
}

// The text followed by NULs up to the buffer size. A longer text is refused and reported, and
// the dialog gets an empty buffer of the full size, never a shorter one.
std::string FillBuffer(std::string_view sText, size_t size, ErrorReport& report) {
  if (sText.size() > size) {
    report.Raise(Error{kErrInvalidArgument,
                       "Invalid procedure call or argument: \"" + std::string(sText.substr(0, 60)) +
                           "...\" is longer than " + std::to_string(size) + " characters"});
    return std::string(size, '\0');
  }
  std::string buffer(sText);
  buffer.resize(size, '\0');
  return buffer;
}

}  // namespace

bool VBGetOpenFileName(std::string& sFileName, std::string& sFileTitle, bool& bFileMustExist,
                       bool& bMultiSelect, bool& bReadOnly, bool& bHideReadOnly,
                       std::string& sFilter, int32_t& lFilterIndex, std::string& sInitDir,
                       std::string& sDlgTitle, std::string& sDefaultExt, intptr_t& hWndOwner,
                       int32_t& lFlags, int32_t& lSave) {
  ErrorReport report("mCommonDialog", "VBGetOpenFileName");
  uint32_t flags = static_cast<uint32_t>(lFlags) & ~(kOfnEnableHook | kOfnEnableTemplate);
  if (bFileMustExist) flags |= kOfnFileMustExist;
  if (bMultiSelect) flags |= kOfnAllowMultiSelect;
  if (bReadOnly) flags |= kOfnReadOnly;
  if (bHideReadOnly) flags |= kOfnHideReadOnly;

  const size_t size = bMultiSelect ? kMultiSelectBufferSize : kFileBufferSize;
  FileDialogRequest request;
  request.save = lSave != 0;
  request.owner = hWndOwner == -1 ? 0 : hWndOwner;
  request.filter = TranslateFilter(sFilter);
  request.filter_index = lFilterIndex;
  request.file = FillBuffer(sFileName, size, report);
  request.file_title = FillBuffer(sFileTitle, size, report);
  request.initial_folder = sInitDir;
  request.title = sDlgTitle;
  request.flags = flags;
  request.default_extension = sDefaultExt;

  const FileDialogResult result = Dialogs().ShowFileDialog(request);
  if (!result.chosen) {
    sFileName.clear();
    sFileTitle.clear();
    sFilter.clear();
    lFlags = 0;
    lFilterIndex = -1;
    return false;
  }
  if (bMultiSelect) {
    sFileTitle.clear();
    const size_t end = result.file.find(std::string_view("\0\0", 2));
    sFileName = end != std::string::npos ? result.file.substr(0, end) : StrZToStr(result.file);
  } else {
    sFileName = StrZToStr(result.file);
    sFileTitle = StrZToStr(result.file_title);
  }
  lFlags = static_cast<int32_t>(result.flags);
  lFilterIndex = result.filter_index;
  sFilter = FilterLookup(request.filter, result.filter_index);
  if (result.flags & kOfnReadOnly) bReadOnly = true;
  return true;
}

bool VBGetOpenFileName(OpenFileNameArgs& a) {
  return VBGetOpenFileName(a.sFileName, a.sFileTitle, a.bFileMustExist, a.bMultiSelect, a.bReadOnly,
                           a.bHideReadOnly, a.sFilter, a.lFilterIndex, a.sInitDir, a.sDlgTitle,
                           a.sDefaultExt, a.hWndOwner, a.lFlags, a.lSave);
}

std::string StrZToStr(std::string_view sText) {
  return std::string(sText.substr(0, sText.find('\0')));
}

std::string FilterLookup(std::string_view sFilters, int32_t lIndex) {
  // An index below 1 names no entry (counting down from it would never reach 1).
  if (sFilters.empty() || lIndex < 1) return std::string();
  size_t start = 0;
  while (true) {
    const size_t first = sFilters.find('\0', start);
    if (first == std::string_view::npos) return std::string();
    const size_t second = sFilters.find('\0', first + 1);
    const std::string_view entry = second == std::string_view::npos
                                       ? sFilters.substr(start)
                                       : sFilters.substr(start, second - start);
    start = second == std::string_view::npos ? 0 : second + 1;
    if (lIndex == 1) return std::string(entry);
    --lIndex;
  }
}

std::string BrowseFolder(intptr_t hWndOwner, std::string_view sPrompt) {
  FolderDialogRequest request;
  request.owner = hWndOwner == -1 ? 0 : hWndOwner;
  request.title = std::string(sPrompt);
  return StrZToStr(Dialogs().BrowseForFolder(request));
}

}  // namespace corvina::mCommonDialog
