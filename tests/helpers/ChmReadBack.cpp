#include "tests/helpers/ChmReadBack.h"

#include <chm_lib.h>
#include <mspack.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace corvina::chm::readback {
namespace {

// An mspack_system whose files named "mem:" are written to a string; others are real files.
struct MemSystem {
  mspack_system base;
  std::string* output = nullptr;
  std::vector<std::string>* messages = nullptr;
};

struct MemFile {
  FILE* real = nullptr;
  std::string* output = nullptr;
  std::vector<std::string>* messages = nullptr;
};

mspack_file* MemOpen(mspack_system* self, const char* filename, int mode) {
  auto* sys = reinterpret_cast<MemSystem*>(self);
  auto* file = new MemFile;
  file->messages = sys->messages;
  if (std::strcmp(filename, "mem:") == 0) {
    sys->output->clear();
    file->output = sys->output;
  } else {
    file->real = std::fopen(filename, mode == MSPACK_SYS_OPEN_READ ? "rb" : "wb");
    if (!file->real) {
      delete file;
      return nullptr;
    }
  }
  return reinterpret_cast<mspack_file*>(file);
}

void MemClose(mspack_file* handle) {
  auto* file = reinterpret_cast<MemFile*>(handle);
  if (file->real) std::fclose(file->real);
  delete file;
}

int MemRead(mspack_file* handle, void* buffer, int bytes) {
  auto* file = reinterpret_cast<MemFile*>(handle);
  if (!file->real) return -1;
  const size_t n = std::fread(buffer, 1, static_cast<size_t>(bytes), file->real);
  return std::ferror(file->real) ? -1 : static_cast<int>(n);
}

int MemWrite(mspack_file* handle, void* buffer, int bytes) {
  auto* file = reinterpret_cast<MemFile*>(handle);
  if (file->output) {
    file->output->append(static_cast<const char*>(buffer), static_cast<size_t>(bytes));
    return bytes;
  }
  return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(bytes), file->real));
}

int MemSeek(mspack_file* handle, off_t offset, int mode) {
  auto* file = reinterpret_cast<MemFile*>(handle);
  if (!file->real) return -1;
  const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                     : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                   : SEEK_END;
  return fseeko(file->real, offset, whence) == 0 ? 0 : -1;
}

off_t MemTell(mspack_file* handle) {
  auto* file = reinterpret_cast<MemFile*>(handle);
  return file->real ? ftello(file->real) : static_cast<off_t>(file->output->size());
}

void MemMessage(mspack_file* handle, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (handle) reinterpret_cast<MemFile*>(handle)->messages->push_back(text);
}

void* MemAlloc(mspack_system*, size_t bytes) {
  return std::malloc(bytes);
}
void MemFree(void* pointer) {
  std::free(pointer);
}
void MemCopy(void* from, void* to, size_t bytes) {
  std::memmove(to, from, bytes);
}

struct Decompressor {
  explicit Decompressor(MemSystem& sys) : chmd(mspack_create_chm_decompressor(&sys.base)) {}
  ~Decompressor() {
    if (chmd) mspack_destroy_chm_decompressor(chmd);
  }
  mschm_decompressor* chmd;
};

MemSystem MakeSystem(std::string* output, std::vector<std::string>* messages) {
  MemSystem sys{};
  sys.base = {MemOpen,    MemClose, MemRead, MemWrite, MemSeek, MemTell,
              MemMessage, MemAlloc, MemFree, MemCopy,  nullptr};
  sys.output = output;
  sys.messages = messages;
  return sys;
}

int CollectLibchm(chmFile* chm, chmUnitInfo* info, void* context) {
  auto* contents = static_cast<ChmContents*>(context);
  const std::string name = info->path;
  if (name.empty() || name.back() == '/') return CHM_ENUMERATOR_CONTINUE;
  std::string bytes(info->length, '\0');
  if (info->length != 0) {
    const LONGINT64 got =
        chm_retrieve_object(chm, info, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                            static_cast<LONGINT64>(info->length));
    if (got != static_cast<LONGINT64>(info->length)) {
      contents->warnings.push_back("short read of " + name + ": " + std::to_string(got));
    }
  }
  if (!contents->files.emplace(name, std::move(bytes)).second) {
    contents->warnings.push_back("listed twice: " + name);
  }
  return CHM_ENUMERATOR_CONTINUE;
}

}  // namespace

ChmContents ReadWithLibchm(const std::filesystem::path& chm) {
  ChmContents contents;
  chmFile* handle = chm_open(chm.c_str());
  if (!handle) {
    contents.error = "libchm cannot open " + chm.string();
    return contents;
  }
  if (!chm_enumerate(handle, CHM_ENUMERATE_ALL, CollectLibchm, &contents)) {
    contents.error = "libchm enumeration failed";
  }
  chm_close(handle);
  return contents;
}

bool LookUpWithLibchm(const std::filesystem::path& chm, const std::string& name,
                      std::string& bytes) {
  chmFile* handle = chm_open(chm.c_str());
  if (!handle) return false;
  chmUnitInfo info;
  bool found = chm_resolve_object(handle, name.c_str(), &info) == CHM_RESOLVE_SUCCESS;
  if (found) {
    bytes.assign(info.length, '\0');
    found = info.length == 0 ||
            chm_retrieve_object(handle, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                static_cast<LONGINT64>(info.length)) ==
                static_cast<LONGINT64>(info.length);
  }
  chm_close(handle);
  return found;
}

ChmContents ReadWithLibmspack(const std::filesystem::path& chm) {
  ChmContents contents;
  std::string output;
  MemSystem sys = MakeSystem(&output, &contents.warnings);
  Decompressor decompressor(sys);
  mschm_decompressor* chmd = decompressor.chmd;
  mschmd_header* header = chmd->open(chmd, chm.c_str());
  if (!header) {
    contents.error = "libmspack cannot open " + chm.string() + ": error " +
                     std::to_string(chmd->last_error(chmd));
    return contents;
  }
  for (mschmd_file* list : {header->files, header->sysfiles}) {
    for (mschmd_file* file = list; file; file = file->next) {
      const std::string name = file->filename;
      if (!name.empty() && name.back() == '/') continue;
      if (chmd->extract(chmd, file, "mem:") != MSPACK_ERR_OK) {
        contents.warnings.push_back("libmspack cannot extract " + name + ": error " +
                                    std::to_string(chmd->last_error(chmd)));
        continue;
      }
      contents.files[name] = output;
    }
  }
  chmd->close(chmd, header);
  return contents;
}

std::vector<std::string> FastFindWithLibmspack(const std::filesystem::path& chm,
                                               const std::map<std::string, std::string>& expected) {
  std::vector<std::string> failed;
  std::vector<std::string> messages;
  std::string output;
  MemSystem sys = MakeSystem(&output, &messages);
  Decompressor decompressor(sys);
  mschm_decompressor* chmd = decompressor.chmd;
  mschmd_header* header = chmd->fast_open(chmd, chm.c_str());
  if (!header) return {"(fast_open failed)"};
  for (const auto& [name, bytes] : expected) {
    mschmd_file file{};
    if (chmd->fast_find(chmd, header, name.c_str(), &file, sizeof file) != MSPACK_ERR_OK ||
        !file.section) {
      failed.push_back(name);
      continue;
    }
    file.filename = const_cast<char*>(name.c_str());
    output.clear();
    if ((file.length != 0 && chmd->extract(chmd, &file, "mem:") != MSPACK_ERR_OK) ||
        output != bytes) {
      failed.push_back(name);
    }
  }
  chmd->close(chmd, header);
  for (const std::string& message : messages)
    failed.push_back("message: " + message);
  return failed;
}

}  // namespace corvina::chm::readback
