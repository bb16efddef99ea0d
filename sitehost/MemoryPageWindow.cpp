#include "sitehost/MemoryPageWindow.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace corvina {
namespace {

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

Status WriteWhole(const std::filesystem::path& path, std::string_view bytes) {
  std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "wbe"));
  if (!file) return ErrnoError("save", errno, path.string());
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return ErrnoError("save", errno, path.string());
  }
  if (std::fclose(file.release()) != 0) return ErrnoError("save", errno, path.string());
  return Status::Ok();
}

}  // namespace

void MemoryPageWindow::Edit(std::string_view text) {
  text_ = text;
  modified_ = true;
}

Status MemoryPageWindow::Save(bool force_overwrite) {
  saves.push_back(force_overwrite);
  if (fail_save_with != 0) {
    return Error{fail_save_with, "save " + file_.string() + ": the page window refused"};
  }
  if (!file_.empty()) {
    std::string name = ".";
    name += file_.filename().string();
    name += ".saving";
    const std::filesystem::path temporary = file_.parent_path() / name;
    Status written = WriteWhole(temporary, text_);
    std::error_code ec;
    if (written.ok()) {
      std::filesystem::rename(temporary, file_, ec);
      if (ec) written = ErrnoError("save", ec.value(), file_.string());
    }
    if (!written.ok()) {
      std::filesystem::remove(temporary, ec);
      return written;
    }
  }
  modified_ = false;
  return Status::Ok();
}

}  // namespace corvina
