#include "workshop/hhc/Engines.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/PosixProcessRunner.h"
#include "platform/TextEncoding.h"
#include "platform/UniqueFd.h"
#include "workshop/chm/ChmCompiler.h"
#include "workshop/chm/ChmFullTextSearch.h"
#include "workshop/common/ChmHeaderFix.h"
#include "workshop/common/ChmcmdEngine.h"
#include "workshop/common/FolderLinks.h"
#include "workshop/common/HhcMessages.h"
#include "workshop/common/HhcSitemap.h"

namespace corvina::workshop {

volatile std::sig_atomic_t g_stop_signal = 0;

void PrintLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  // Standard output is line-buffered on a terminal only. Into a pipe, a progress line per
  // stored file would wake the reader once per line: the lines go out in batches instead, one
  // at least every tenth of a second while lines come, the rest when the run ends.
  using Clock = std::chrono::steady_clock;
  static Clock::time_point last_flush = Clock::now();
  const Clock::time_point now = Clock::now();
  if (now - last_flush >= std::chrono::milliseconds(100)) {
    std::fflush(stdout);
    last_flush = now;
  }
}

namespace {

namespace fs = std::filesystem;

// Files and folders this run made; removed when the run ends, whatever the outcome.
class CreatedPaths {
 public:
  ~CreatedPaths() {
    for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) {
      std::error_code ec;
      fs::remove_all(*it, ec);
    }
  }
  void Add(fs::path path) { paths_.push_back(std::move(path)); }

 private:
  std::vector<fs::path> paths_;
};

// A new, uniquely named file or folder from a template ending in XXXXXX plus `suffix`.
bool MakeUnique(std::string& name, int suffix_length, bool folder) {
  if (folder) return ::mkdtemp(name.data()) != nullptr;
  return UniqueFd(::mkstemps(name.data(), suffix_length)).valid();
}

bool WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

int Failed(HhcCode code, const std::string& text) {
  PrintLine(FormatMessage(code, text));
  return kExitFailed;
}

// Contents and index files whose page names had to be re-encoded are compiled from copies
// beside them; `names` gets the copies' names.
bool CopySitemaps(const ParsedProject& project, CreatedPaths& created, CompileNames& names) {
  for (auto [name, text, extension] :
       {std::tuple{&names.contents_file, &project.contents_text, ".hhc"},
        std::tuple{&names.index_file, &project.index_text, ".hhk"}}) {
    if (text->empty()) continue;
    std::string sitemap = (project.folder / (*name + extension)).string();
    if (!UniqueFd(::open(sitemap.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)).valid()) {
      sitemap = (project.folder / (*name + "-XXXXXX" + extension)).string();
      if (!MakeUnique(sitemap, 4, false)) {
        Failed(HhcCode::kOutputFailed,
               "Cannot create a copy of " + *name + ": " + std::strerror(errno));
        return false;
      }
    }
    created.Add(sitemap);
    if (!WriteBytes(sitemap, *text)) {
      Failed(HhcCode::kOutputFailed, "Cannot write " + sitemap + ".");
      return false;
    }
    *name = fs::path(sitemap).lexically_relative(project.folder).generic_string();
  }
  return true;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

int Stopped() {
  PrintLine(FormatMessage(HhcCode::kInterrupted, "The compile was stopped by a signal."));
  return 128 + g_stop_signal;
}

}  // namespace

int CompileWithChmcmd(const ParsedProject& project) {
  CreatedPaths created;

  Result<fs::path> chmcmd = FindProgram("chmcmd");
  if (!chmcmd.ok()) {
    return Failed(HhcCode::kCompilerNotFound,
                  "chmcmd cannot be found (install the Debian package fp-utils).");
  }

  // chmcmd accepts only a project whose name ends in .hhp, so it gets a hidden sibling copy.
  std::string copy =
      (project.folder / ("." + project.project_file.filename().string() + "-XXXXXX.hhp")).string();
  if (!MakeUnique(copy, 4, false)) {
    return Failed(HhcCode::kOutputFailed, "Cannot create a working copy of the project in " +
                                              project.folder.string() + ": " +
                                              std::strerror(errno));
  }
  created.Add(copy);

  // chmcmd writes its output in place, so it writes into a folder of ours beside the output
  // (the same file system, so that the finished file can be renamed over the output).
  const fs::path output = project.compiled_file;
  std::string work =
      (output.parent_path() / ("." + output.filename().string() + "-XXXXXX")).string();
  if (!MakeUnique(work, 0, true)) {
    return Failed(HhcCode::kOutputFailed, "Cannot create a temporary folder beside " +
                                              output.string() + ": " + std::strerror(errno));
  }
  created.Add(work);
  const fs::path temporary = fs::path(work) / output.filename();
  // chmcmd reads index keywords as UTF-8: the index it gets has them converted.
  ParsedProject prepared = project;
  if (!prepared.index_file.empty()) {
    const std::string index = prepared.index_text.empty()
                                  ? ReadBytes(prepared.folder / prepared.index_file)
                                  : prepared.index_text;
    if (std::string keywords = ReencodeIndexKeywords(index); !keywords.empty()) {
      prepared.index_text = std::move(keywords);
    }
  }
  CompileNames names{temporary, prepared.contents_file, prepared.index_file};
  if (!CopySitemaps(prepared, created, names)) return kExitFailed;
  if (!WriteBytes(copy, ProjectTextFor(prepared, names))) {
    return Failed(HhcCode::kOutputFailed, "Cannot write the working copy " + copy + ".");
  }
  if (g_stop_signal != 0) return Stopped();

  ChmcmdOutputFilter filter(project.show_progress, project.folder);
  ChmcmdRun run{*chmcmd, copy, &g_stop_signal};
  // chmcmd stores every file that a page links to and that exists, following symbolic links:
  // with links out of the folder it adds no linked file (every file is listed anyway), and
  // each such link is named.
  const std::vector<std::string> leaving = LinksLeavingFolder(project.folder);
  for (const std::string& link : leaving) {
    PrintLine(FormatMessage(HhcCode::kLinkLeavesProject,
                            link + " is a symbolic link to a place outside the project folder; "
                                   "it is not stored, and links of pages are not followed"));
  }
  run.scan_html = leaving.empty();
  ChmcmdResult result = RunChmcmd(run, [&](std::string_view line) {
    if (auto printed = filter.Line(line)) PrintLine(*printed);
  });
  if (result.interrupted) return Stopped();
  if (auto printed = filter.Finish()) PrintLine(*printed);
  if (!result.started) {
    return Failed(HhcCode::kCompilerNotFound,
                  "chmcmd (" + chmcmd->string() + ") cannot be started.");
  }
  if (result.exit_code != 0) {
    return Failed(HhcCode::kCompilerFailed,
                  "chmcmd failed with exit code " + std::to_string(result.exit_code) + ".");
  }
  if (filter.failed()) return kExitFailed;

  std::error_code ec;
  if (!fs::is_regular_file(temporary, ec) || fs::file_size(temporary, ec) == 0) {
    return Failed(HhcCode::kCompilerFailed, "chmcmd wrote no compiled file.");
  }
  if (Status fixed = FixChmcmdHeader(temporary); !fixed.ok()) {
    return Failed(HhcCode::kOutputFailed, fixed.description());
  }
  if (g_stop_signal != 0) return Stopped();
  fs::rename(temporary, output, ec);
  if (ec) {
    return Failed(HhcCode::kOutputFailed,
                  "Cannot move the compiled file to " + output.string() + ": " + ec.message());
  }
  PrintLine("Created " + output.string() + ", " + std::to_string(project.files.size()) +
            " files, " + std::to_string(filter.warnings()) + " warnings.");
  return kExitOk;
}

int CompileNative(ParsedProject project) {
  CreatedPaths created;
  CompileNames names{project.compiled_file, project.contents_file, project.index_file};
  if (!CopySitemaps(project, created, names)) return kExitFailed;
  if (g_stop_signal != 0) return Stopped();
  // The sitemaps' texts are in their copies, and the prepared project text is for compilers
  // that read a project file: neither is held through the compile.
  for (std::string* text : {&project.contents_text, &project.index_text, &project.prepared_text})
    std::string().swap(*text);

  chm::ChmProject chm;
  chm.compiled_file = project.compiled_file;
  chm.project_folder = project.folder;
  chm.title = project.title;
  chm.default_topic = project.default_topic;
  chm.contents_file = names.contents_file;
  chm.index_file = names.index_file;
  chm.default_window = AnsiToUtf8(project.default_window);
  for (const std::string& line : WindowsFor(project, names))
    chm.windows.push_back(AnsiToUtf8(line));
  chm.language = project.lcid;
  chm.full_text_search = project.full_text_search;
  chm.binary_toc = project.binary_toc;
  chm.binary_index = project.binary_index;
  chm.files = std::move(project.files);
  chm.files.shrink_to_fit();  // grown by doubling while read; held through the compile

  int warnings = 0;
  chm::ChmCompileOptions options;
  size_t stored = 0;
  options.progress = [&](std::string_view name) {
    ++stored;
    if (project.show_progress) PrintLine("Processing " + std::string(name));
  };
  options.warning = [&](chm::ChmWarning kind, std::string_view text) {
    ++warnings;
    HhcCode code = HhcCode::kCompilerWarning;
    switch (kind) {
      case chm::ChmWarning::kLinkNotOnDisk:
        code = HhcCode::kLinkNotOnDisk;
        break;
      case chm::ChmWarning::kAnchorUndefined:
        code = HhcCode::kAnchorUndefined;
        break;
      case chm::ChmWarning::kLinkOutsideProject:
        code = HhcCode::kLinkOutsideProject;
        break;
      case chm::ChmWarning::kOther:
        break;
    }
    PrintLine(FormatMessage(code, text));
  };
  if (project.full_text_search && !project.stop_list_file.empty()) {
    // One word after another, read as page text is, so that they match the stored words.
    // A stop list is a few hundred words: more than a megabyte of it is not read.
    constexpr size_t kMaxStopListBytes = size_t{1} << 20;
    std::ifstream in(project.folder / project.stop_list_file, std::ios::binary);
    std::string words(kMaxStopListBytes, '\0');
    in.read(words.data(), static_cast<std::streamsize>(words.size()));
    words.resize(static_cast<size_t>(in.gcount()));
    if (in.is_open() && !in.bad()) {
      chm.stop_words = chm::FullTextQueryWords(words);
    } else {
      options.warning(chm::ChmWarning::kOther,
                      "The stop list file " + project.stop_list_file +
                          " cannot be read; every word is indexed for search.");
    }
  }
  // The writer replaces the output only once it is complete, so it is not interrupted.
  if (Status compiled = chm::CompileChm(chm, options); !compiled.ok()) {
    return Failed(HhcCode::kCompilerFailed, "The compile failed: " + compiled.description());
  }
  PrintLine("Created " + project.compiled_file.string() + ", " + std::to_string(stored) +
            " files, " + std::to_string(warnings) + " warnings.");
  return kExitOk;
}

}  // namespace corvina::workshop
