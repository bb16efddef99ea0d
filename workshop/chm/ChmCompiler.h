#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"
#include "workshop/chm/ChmWarning.h"

namespace corvina::chm {

// A help project as the compiler reads it. Relative names are UTF-8 with "/" separators,
// relative to `project_folder`, and are stored in the .chm under the same names.
struct ChmProject {
  std::filesystem::path compiled_file;  // the .chm to write
  std::filesystem::path project_folder;
  std::string title;
  std::string default_topic;         // e.g. "index.htm"
  std::string contents_file;         // e.g. "toc.hhc"; empty: none
  std::string index_file;            // e.g. "index.hhk"; empty: none
  std::string default_window;        // e.g. "default"; must match one of `windows`
  std::vector<std::string> windows;  // raw [WINDOWS] lines: name="title","toc.hhc",...
  uint32_t language = 0x0409;        // LCID
  bool full_text_search = false;     // writes the search index /$FIftiMain
  // Words the search index leaves out, as it stores words: Windows-1252, lower case.
  std::vector<std::string> stop_words;
  bool binary_toc = false;         // #TOCIDX from the contents file, which stays stored too
  bool binary_index = false;       // $WWKeywordLinks/ from the index file, likewise
  std::vector<std::string> files;  // in project order; the files they link to are added
};

struct ChmCompileOptions {
  // Called once per file stored, with its relative name, after it is read.
  std::function<void(std::string_view name)> progress;
  // Called for each problem that does not stop the compile.
  std::function<void(ChmWarning kind, std::string_view text)> warning;
  int threads = 0;  // compressing threads; 0: every core
};

// The engine builds one large buffer after another; a program that runs it keeps blocks from
// this size on in mappings of their own (KeepLargeBlocksApart), so that each goes back to the
// system when freed and the peak stays near what is live.
inline constexpr size_t kChmLargeBlockBytes = size_t{128} << 10;

// Compiles `project` into project.compiled_file. The file appears only when everything
// succeeded; on failure the Status says why and no file is left behind (an existing file at
// that path stays as it was).
Status CompileChm(const ChmProject& project, const ChmCompileOptions& options = {});

// Compiles every file in `files` (relative to `folder`) with the given title and default
// topic, the first .hhc and .hhk among them as contents and index, and one window "main".
Status WriteProjectChm(const std::filesystem::path& folder, const std::vector<std::string>& files,
                       const std::filesystem::path& output, std::string_view title,
                       std::string_view default_topic);

}  // namespace corvina::chm
