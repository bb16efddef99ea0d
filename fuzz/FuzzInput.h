#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

// Helpers shared by the fuzz targets.
namespace corvina::fuzz {

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A file in memory that holds the current input, for readers that take a path.
class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {}
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the file's bytes and gives a path that opens it.
  std::string Hold(const uint8_t* data, size_t size) {
    if (::ftruncate(fd_, 0) != 0) __builtin_trap();
    size_t done = 0;
    while (done < size) {
      const ssize_t wrote = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (wrote <= 0) __builtin_trap();
      done += static_cast<size_t>(wrote);
    }
    return "/proc/self/fd/" + std::to_string(fd_);
  }

 private:
  int fd_;
};

// A folder of its own under the temporary folder, removed with everything in it at exit.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view name) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Splits the input at its first NUL bytes into up to `parts` texts.
template <size_t parts>
std::array<std::string_view, parts> SplitAtNul(std::string_view text) {
  std::array<std::string_view, parts> out{};
  for (size_t i = 0; i + 1 < parts; ++i) {
    const size_t nul = text.find('\0');
    out[i] = text.substr(0, nul);
    text = nul == std::string_view::npos ? std::string_view() : text.substr(nul + 1);
  }
  out[parts - 1] = text;
  return out;
}

}  // namespace corvina::fuzz
