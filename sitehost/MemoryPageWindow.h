#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "shared/HostObjects.h"

namespace corvina {

// A page window that holds its page's text in memory. Edit() changes the text and marks the
// window modified; Save() writes the text to the page's file (replacing it whole, through a
// hidden temporary file beside it, so a failed save leaves the old page intact) and clears
// the flag. A window without a file saves nothing and only clears the flag.
class MemoryPageWindow : public IPageWindow {
 public:
  explicit MemoryPageWindow(std::filesystem::path file = {}, std::string text = {})
      : file_(std::move(file)), text_(std::move(text)) {}

  bool IsModified() override { return modified_; }
  Status Save(bool force_overwrite) override;

  void Edit(std::string_view text);
  const std::string& text() const { return text_; }
  const std::filesystem::path& file() const { return file_; }

  std::vector<bool> saves;  // the force argument of every Save call, in order
  int fail_save_with = 0;   // when not 0, Save fails with this error number

 private:
  std::filesystem::path file_;
  std::string text_;
  bool modified_ = false;
};

}  // namespace corvina
