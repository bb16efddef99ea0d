#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvina::mCommonDialog {

// Size of the dialog's file and title buffers, without and with multiple selection.
inline constexpr size_t kFileBufferSize = 260;
inline constexpr size_t kMultiSelectBufferSize = 8192;

// Shows the file-open dialog, or the file-save dialog when lSave is nonzero, and gives back the
// choice through the arguments. True when the user chose a file; on cancel sFileName,
// sFileTitle and sFilter become empty, lFlags 0 and lFilterIndex -1. sFilter holds
// description and pattern pairs separated by "|" or ":", and comes back as the chosen pair
// with a NUL between them. hWndOwner -1 means no owner window.
bool VBGetOpenFileName(std::string& sFileName, std::string& sFileTitle, bool& bFileMustExist,
                       bool& bMultiSelect, bool& bReadOnly, bool& bHideReadOnly,
                       std::string& sFilter, int32_t& lFilterIndex, std::string& sInitDir,
                       std::string& sDlgTitle, std::string& sDefaultExt, intptr_t& hWndOwner,
                       int32_t& lFlags, int32_t& lSave);

// The fourteen arguments of VBGetOpenFileName in one place, for callers that pass values.
struct OpenFileNameArgs {
  std::string sFileName;
  std::string sFileTitle;
  bool bFileMustExist = true;
  bool bMultiSelect = false;
  bool bReadOnly = false;
  bool bHideReadOnly = false;
  std::string sFilter;
  int32_t lFilterIndex = 1;
  std::string sInitDir;
  std::string sDlgTitle;
  std::string sDefaultExt;
  intptr_t hWndOwner = -1;
  int32_t lFlags = 0;
  int32_t lSave = 0;
};
bool VBGetOpenFileName(OpenFileNameArgs& args);

// The text up to its first NUL.
std::string StrZToStr(std::string_view sText);

// Entry lIndex (1-based) of a NUL-separated filter: its description, a NUL and its pattern;
// empty when there is no such entry.
std::string FilterLookup(std::string_view sFilters, int32_t lIndex);

// The folder the user chose in the folder browser, or the empty text on cancel.
std::string BrowseFolder(intptr_t hWndOwner, std::string_view sPrompt);

}  // namespace corvina::mCommonDialog
