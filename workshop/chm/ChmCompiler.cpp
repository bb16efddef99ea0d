#include "workshop/chm/ChmCompiler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <span>
#include <unordered_map>

#include "platform/TextEncoding.h"
#include "platform/UniqueFd.h"
#include "workshop/chm/ChmArchiveWriter.h"
#include "workshop/chm/ChmBinaryIndex.h"
#include "workshop/chm/ChmBinaryToc.h"
#include "workshop/chm/ChmDirectory.h"
#include "workshop/chm/ChmFullTextIndexer.h"
#include "workshop/chm/ChmOutputFile.h"
#include "workshop/chm/ChmSitemap.h"
#include "workshop/chm/ChmSystemFiles.h"
#include "workshop/chm/LinkedFiles.h"
#include "workshop/chm/PageLinks.h"
#include "workshop/chm/PageTitle.h"

namespace corvina::chm {
namespace {

constexpr size_t kReadChunk = size_t{1} << 18;

std::string Quote(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

std::string Extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) return {};
  return FoldChmName(name.substr(dot + 1));
}

bool IsPage(std::string_view name) {
  const std::string extension = Extension(name);
  return extension == "htm" || extension == "html";
}

// A relative name stays inside the project folder: no absolute path, no "." or ".." part, no
// empty part.
bool IsSafeRelativeName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

class FileReader {
 public:
  Status Open(const std::filesystem::path& path, uint64_t& size) {
    fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_.valid()) return ErrnoError("cannot read", errno, path.string());
    struct stat info;
    if (::fstat(fd_.get(), &info) != 0) return ErrnoError("cannot read", errno, path.string());
    if (!S_ISREG(info.st_mode)) {
      return Error{kErrFileNotFound, "cannot read " + path.string() + ": not a file"};
    }
    size = static_cast<uint64_t>(info.st_size);
    path_ = path;
    return Status::Ok();
  }
  // Reads the whole file (of `size` bytes as opened) into `bytes`. A file larger than the
  // buffer gets one of its own size: the old one goes first, and its bytes are not copied.
  Status ReadAll(uint64_t size, std::string& bytes) {
    if (size > bytes.capacity()) bytes = std::string();
    bytes.resize(size);
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd_.get(), bytes.data() + got, bytes.size() - got);
      if (n == 0) break;  // the file shrank while it was read
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError("cannot read", errno, path_.string());
      }
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return Status::Ok();
  }
  // Reads up to buffer.size() bytes; 0 at the end.
  Result<size_t> Read(std::vector<uint8_t>& buffer) {
    for (;;) {
      const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) return ErrnoError("cannot read", errno, path_.string());
    }
  }

 private:
  UniqueFd fd_;
  std::filesystem::path path_;
};

class Compiler {
 public:
  Compiler(const ChmProject& project, const ChmCompileOptions& options)
      : project_(project), options_(options) {}

  Status Run();

 private:
  Status CheckProject();
  // `kind` says how the file is read for its links: as a page, a style sheet, a contents or
  // index file, or not at all.
  enum class Kind { kPlain, kPage, kStyleSheet, kSitemap };
  Status StoreFile(const std::string& name, Kind kind);
  Status StoreLinkingFile(const std::string& name, Kind kind, FileReader& reader, uint64_t size);
  Status AddBinarySitemaps(ChmSystemInfo& info);
  // The search index written to an unnamed file beside the output and released; none when the
  // project asks for no search.
  Result<std::unique_ptr<ChmScratchFile>> WriteFullTextIndex();
  // Where the output is written, and the scratch files beside it.
  std::filesystem::path OutputFolder() const {
    std::filesystem::path folder = project_.compiled_file.parent_path();
    return folder.empty() ? "." : folder;
  }
  Status AddOwnFile(const std::string& name, std::span<const uint8_t> bytes, bool compressed);
  // Reads a contents or index file a piece at a time, handing over its entries.
  Status ReadSitemap(const std::string& name, const SitemapEntryHandler& handler);
  void Warn(const std::string& text, ChmWarning kind = ChmWarning::kOther) {
    if (options_.warning) options_.warning(kind, text);
  }

  const ChmProject& project_;
  const ChmCompileOptions& options_;
  std::vector<const std::string*> names_;  // files to store, in order, each once
  ChmStringPool strings_;
  ChmTopicTable topics_;
  std::unique_ptr<ChmArchiveWriter> writer_;
  std::unique_ptr<ChmFullTextIndexer> full_text_;  // when the project asks for search
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kReadChunk);
  LinkedFiles linked_{project_.project_folder, [this](ChmWarning kind, std::string_view text) {
                        Warn(std::string(text), kind);
                      }};
  std::string page_;  // the bytes of the file being stored, when its links are read
  std::set<std::string, std::less<>> unread_charsets_;  // each warned of once
};

Status Compiler::CheckProject() {
  if (project_.compiled_file.empty()) {
    return Error{kErrInvalidArgument, "no compiled file is named in the project"};
  }
  // The contents and index files come first: the viewer reads them at start-up.
  std::vector<const std::string*> wanted;
  if (!project_.contents_file.empty()) wanted.push_back(&project_.contents_file);
  if (!project_.index_file.empty()) wanted.push_back(&project_.index_file);
  for (const std::string& name : project_.files)
    wanted.push_back(&name);
  // Names as readers compare them -> as first listed.
  std::unordered_map<std::string_view, std::string_view, ChmNameHash, ChmNameEqual> seen;
  for (const std::string* listed : wanted) {
    const std::string& name = *listed;
    if (!IsSafeRelativeName(name)) {
      return Error{kErrInvalidArgument,
                   "bad file name in the project (it must be relative and stay inside the "
                   "project folder): " +
                       Quote(name)};
    }
    if (name.size() + 1 > kChmMaxNameBytes) {
      return Error{kErrInvalidArgument, "file name too long for a .chm: " + Quote(name)};
    }
    auto [it, added] = seen.emplace(name, name);
    if (added) {
      names_.push_back(&name);
    } else if (it->second != name) {
      return Error{kErrFileAlreadyExists,
                   "names differ only in letter case, which a .chm cannot tell apart: " +
                       Quote(it->second) + " and " + Quote(name)};
    }
  }
  if (!project_.default_topic.empty() && !seen.contains(project_.default_topic)) {
    Warn("the default topic " + Quote(project_.default_topic) + " is not among the files");
  }
  return Status::Ok();
}

Status Compiler::StoreFile(const std::string& name, Kind kind) {
  const std::filesystem::path path = project_.project_folder / name;
  FileReader reader;
  uint64_t size = 0;
  if (Status status = reader.Open(path, size); !status.ok()) return status;
  if (size > kChmMaxSectionBytes) {
    return Error{kErrInvalidArgument, "file too large for a .chm (" + std::to_string(size) +
                                          " bytes, at most " + std::to_string(kChmMaxSectionBytes) +
                                          "): " + Quote(name)};
  }
  if (kind != Kind::kPlain) {
    if (Status status = StoreLinkingFile(name, kind, reader, size); !status.ok()) return status;
    if (options_.progress) options_.progress(name);
    return Status::Ok();
  }
  if (Status status = writer_->BeginCompressed("/" + name); !status.ok()) return status;
  for (;;) {
    Result<size_t> got = reader.Read(buffer_);
    if (!got.ok()) return got.error();
    if (*got == 0) break;
    if (Status status = writer_->AppendCompressed({buffer_.data(), *got}); !status.ok()) {
      return status;
    }
  }
  if (Status status = writer_->EndCompressed(); !status.ok()) return status;
  if (options_.progress) options_.progress(name);
  return Status::Ok();
}

// A page, style sheet or sitemap is read whole: it is stored, and its links are followed.
Status Compiler::StoreLinkingFile(const std::string& name, Kind kind, FileReader& reader,
                                  uint64_t size) {
  if (Status status = reader.ReadAll(size, page_); !status.ok()) return status;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(page_.data()),
                                       page_.size());
  if (Status status = writer_->AddCompressed("/" + name, bytes); !status.ok()) return status;
  switch (kind) {
    case Kind::kPage: {
      const std::string_view head = std::string_view(page_).substr(0, kReadChunk);
      const auto topic = static_cast<uint32_t>(topics_.size());
      topics_.Add(name, Utf8ToAnsi(ReadPageTitle(head)), true, strings_);
      const PageLinks links = ScanPageLinks(page_);
      linked_.SetAnchors(name, links.anchors);
      linked_.Follow(name, links);
      if (full_text_) {
        const std::string charset = UnreadCharset(page_);
        if (!charset.empty() && unread_charsets_.insert(charset).second) {
          Warn("Full-text search does not read the charset \"" + charset +
               "\" (first declared by " + name +
               "): such pages' words are indexed as Windows-1252, or as UTF-8 where their bytes "
               "are UTF-8.");
        }
        full_text_->AddPage(topic, std::move(page_));
      }
      break;
    }
    case Kind::kStyleSheet:
      linked_.Follow(name, ScanStyleSheetLinks(page_));
      break;
    case Kind::kSitemap:
      ScanSitemapLinks(page_,
                       [&](const SitemapLink& link) { linked_.FollowSitemapLink(name, link); });
      break;
    case Kind::kPlain:
      break;
  }
  return Status::Ok();
}

Status Compiler::AddOwnFile(const std::string& name, std::span<const uint8_t> bytes,
                            bool compressed) {
  if (writer_->Contains(name)) {
    return Error{kErrFileAlreadyExists, "the project lists a file named " + name +
                                            ", which the compiled file needs for itself"};
  }
  return compressed ? writer_->AddCompressed(name, bytes) : writer_->AddStored(name, bytes);
}

Status Compiler::ReadSitemap(const std::string& name, const SitemapEntryHandler& handler) {
  FileReader reader;
  uint64_t size = 0;
  if (Status status = reader.Open(project_.project_folder / name, size); !status.ok()) {
    return status;
  }
  SitemapStreamReader sitemap(handler);
  for (;;) {
    Result<size_t> got = reader.Read(buffer_);
    if (!got.ok()) return got.error();
    if (*got == 0) break;
    sitemap.Add({reinterpret_cast<const char*>(buffer_.data()), *got});
  }
  sitemap.Finish();
  return Status::Ok();
}

// The binary contents and index, when the project asks for them, from the contents and index
// files (which stay stored as they are).
Status Compiler::AddBinarySitemaps(ChmSystemInfo& info) {
  if (project_.binary_toc && !project_.contents_file.empty()) {
    ChmTocIdxBuilder toc(topics_, strings_);
    if (Status status =
            ReadSitemap(project_.contents_file,
                        [&](size_t depth, SitemapEntry& entry) { toc.Add(depth, entry); });
        !status.ok()) {
      return status;
    }
    const std::vector<uint8_t> tocidx = toc.Finish();
    if (!tocidx.empty()) {
      if (Status status = AddOwnFile("/#TOCIDX", tocidx, true); !status.ok()) return status;
      info.binary_toc_hash = ChmUrlHash(project_.contents_file);
    }
  }
  if (project_.binary_index && !project_.index_file.empty()) {
    ChmKeywordLinksBuilder index(
        project_.language, topics_, strings_,
        [&](std::string_view problem) { Warn(project_.index_file + ": " + std::string(problem)); });
    if (Status status =
            ReadSitemap(project_.index_file,
                        [&](size_t depth, SitemapEntry& entry) { index.Add(depth, entry); });
        !status.ok()) {
      return status;
    }
    Result<ChmKeywordLinks> links = index.Finish();
    if (!links.ok()) return links.error();
    if (links->keywords != 0) {
      const std::vector<uint8_t> no_links(4, 0);
      const std::pair<const char*, const std::vector<uint8_t>*> files[] = {
          {"/$WWKeywordLinks/BTree", &links->btree},
          {"/$WWKeywordLinks/Data", &links->data},
          {"/$WWKeywordLinks/Map", &links->map},
          {"/$WWKeywordLinks/Property", &links->property},
          {"/$WWAssociativeLinks/Property", &no_links},
      };
      for (const auto& [name, bytes] : files) {
        if (Status status = AddOwnFile(name, *bytes, true); !status.ok()) return status;
      }
      info.binary_index_hash = ChmUrlHash(project_.index_file);
    }
  }
  return Status::Ok();
}

Result<std::unique_ptr<ChmScratchFile>> Compiler::WriteFullTextIndex() {
  if (!full_text_) return std::unique_ptr<ChmScratchFile>();
  Result<std::unique_ptr<ChmScratchFile>> file = ChmScratchFile::Create(OutputFolder());
  if (!file.ok()) return file.error();
  Status written = Status::Ok();
  full_text_->Finish([&](std::span<const uint8_t> bytes) {
    written = (*file)->Write(bytes);
    return written.ok();
  });
  const Status indexed = full_text_->status();
  full_text_.reset();
  if (!written.ok()) return written.error();
  if (!indexed.ok()) return indexed.error();
  return file;
}

Status Compiler::Run() {
  if (Status status = CheckProject(); !status.ok()) return status;
  ChmArchiveOptions archive;
  archive.lcid = project_.language;
  archive.threads = options_.threads;
  Result<std::unique_ptr<ChmArchiveWriter>> writer =
      ChmArchiveWriter::Create(project_.compiled_file, archive);
  if (!writer.ok()) return writer.error();
  writer_ = std::move(writer).value();
  if (project_.full_text_search) {
    full_text_ = std::make_unique<ChmFullTextIndexer>(options_.threads, project_.language,
                                                      project_.stop_words, OutputFolder());
  }

  for (const std::string* name : names_)
    linked_.AddListed(*name);
  for (const std::string* name : names_) {
    Kind kind = IsPage(*name)               ? Kind::kPage
                : Extension(*name) == "css" ? Kind::kStyleSheet
                                            : Kind::kPlain;
    if (name == &project_.contents_file || name == &project_.index_file) kind = Kind::kSitemap;
    if (Status status = StoreFile(*name, kind); !status.ok()) return status;
  }
  // Then the files they link to, and the files those link to, in the order first met.
  std::string linked;
  bool style_sheet = false;
  while (linked_.Next(linked, style_sheet)) {
    const Kind kind = IsPage(linked)                              ? Kind::kPage
                      : style_sheet || Extension(linked) == "css" ? Kind::kStyleSheet
                                                                  : Kind::kPlain;
    if (Status status = StoreFile(linked, kind); !status.ok()) return status;
  }
  linked_.CheckAnchors();
  // Every file is stored: what the links reached, and the list of what to store, are done with.
  linked_.Release();
  names_ = {};
  for (const std::string* file : {&project_.contents_file, &project_.index_file}) {
    if (!file->empty()) topics_.Add(*file, {}, false, strings_);
  }

  // The search index is written out and released before the binary contents and index are
  // built, so that the two are never held together; it is stored after the system files.
  Result<std::unique_ptr<ChmScratchFile>> full_text_file = WriteFullTextIndex();
  if (!full_text_file.ok()) return full_text_file.error();

  ChmSystemInfo info;
  if (Status status = AddBinarySitemaps(info); !status.ok()) return status;

  // The system files the viewer reads.
  ChmStringPool& strings = strings_;
  std::vector<ChmWindowDefinition> windows;
  for (const std::string& line : project_.windows) {
    ChmWindowDefinition window;
    if (!ParseWindowDefinition(Utf8ToAnsi(line), window)) {
      Warn("window definition without a name ignored: " + Quote(line));
      continue;
    }
    windows.push_back(std::move(window));
  }
  if (!project_.default_window.empty() &&
      std::none_of(windows.begin(), windows.end(), [&](const ChmWindowDefinition& window) {
        return window.name == Utf8ToAnsi(project_.default_window);
      })) {
    Warn("the default window " + Quote(project_.default_window) + " is not defined");
  }
  std::vector<uint8_t> windows_file = BuildWindowsFile(windows, strings);
  const std::vector<uint8_t> idxhdr = BuildIdxHdr(static_cast<uint32_t>(topics_.size()));
  ChmTopicFiles topic_files = topics_.TakeFiles();
  info.contents_file = Utf8ToAnsi(project_.contents_file);
  info.index_file = Utf8ToAnsi(project_.index_file);
  info.default_topic = Utf8ToAnsi(project_.default_topic);
  info.title = Utf8ToAnsi(project_.title);
  info.default_window = Utf8ToAnsi(project_.default_window);
  info.base_name = Utf8ToAnsi(project_.compiled_file.stem().string());
  info.lcid = project_.language;
  info.full_text_search = *full_text_file != nullptr;

  std::vector<std::pair<const char*, const std::vector<uint8_t>*>> compressed = {
      {"/#WINDOWS", &windows_file},      {"/#STRINGS", &strings.bytes()},
      {"/#TOPICS", &topic_files.topics}, {"/#URLTBL", &topic_files.urltbl},
      {"/#URLSTR", &topic_files.urlstr}, {"/#IDXHDR", &idxhdr},
  };
  for (const auto& [name, bytes] : compressed) {
    if (Status status = AddOwnFile(name, *bytes, true); !status.ok()) return status;
  }
  // Stored: what is left to write needs none of it.
  windows_file = {};
  topic_files = {};
  strings_ = {};
  if (*full_text_file) {
    const char* name = "/$FIftiMain";
    if (writer_->Contains(name)) {
      return Error{kErrFileAlreadyExists, std::string("the project lists a file named ") + name +
                                              ", which the compiled file needs for itself"};
    }
    if (Status status = writer_->BeginCompressed(name); !status.ok()) return status;
    if (Status status = (*full_text_file)->ReadBack([&](std::span<const uint8_t> bytes) {
          return writer_->AppendCompressed(bytes);
        });
        !status.ok()) {
      return status;
    }
    if (Status status = writer_->EndCompressed(); !status.ok()) return status;
  }
  Result<std::vector<uint8_t>> system = BuildSystemFile(info, idxhdr);
  if (!system.ok()) return system.error();
  if (Status status = AddOwnFile("/#SYSTEM", *system, false); !status.ok()) return status;
  if (Status status = AddOwnFile("/#ITBITS", {}, false); !status.ok()) return status;
  return writer_->Finish();
}

}  // namespace

Status CompileChm(const ChmProject& project, const ChmCompileOptions& options) {
  return Compiler(project, options).Run();
}

Status WriteProjectChm(const std::filesystem::path& folder, const std::vector<std::string>& files,
                       const std::filesystem::path& output, std::string_view title,
                       std::string_view default_topic) {
  ChmProject project;
  project.compiled_file = output;
  project.project_folder = folder;
  project.title = std::string(title);
  project.default_topic = std::string(default_topic);
  for (const std::string& name : files) {
    const std::string folded = FoldChmName(name);
    if (project.contents_file.empty() && folded.ends_with(".hhc")) project.contents_file = name;
    if (project.index_file.empty() && folded.ends_with(".hhk")) project.index_file = name;
  }
  project.default_window = "main";
  project.windows.push_back("main=\"" + project.title + "\",\"" + project.contents_file + "\",\"" +
                            project.index_file + "\",\"" + project.default_topic + "\",\"" +
                            project.default_topic + "\",,,,,0x23420,,0x3006,,,,,,,,0");
  project.files = files;
  return CompileChm(project, {});
}

}  // namespace corvina::chm
