#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "workshop/common/HhcMessages.h"

namespace corvina::workshop {

struct HhcMessage {
  HhcCode code;
  std::string text;  // UTF-8
};

// A help project as read and checked, ready for either engine. Names are UTF-8 as they are on
// disk, relative to the project folder with "/" separators; the project text itself is
// Windows-1252, so its names are re-encoded, and a name that exists only in its raw bytes is
// taken as it is.
struct ParsedProject {
  std::filesystem::path project_file;   // absolute
  std::filesystem::path folder;         // the project's folder, absolute
  std::filesystem::path compiled_file;  // absolute
  std::string title;                    // UTF-8
  std::string default_topic;            // relative name
  std::string default_window;
  std::string contents_file;         // relative name; empty when there is none
  std::string index_file;            // relative name; empty when there is none
  std::vector<std::string> windows;  // [WINDOWS] definitions, "name=..." as written
  uint32_t lcid = 0x409;
  bool full_text_search = false;
  std::string stop_list_file;  // UTF-8, relative, as written; empty when there is none
  bool binary_toc = false;
  bool binary_index = false;
  bool show_progress = false;
  std::vector<std::string> files;  // [FILES], in project order
  // The contents and index files' bytes with their "Local" names re-encoded to the names on
  // disk; empty when no name needed it, and the file is taken as it is.
  std::string contents_text;
  std::string index_text;
  // Lines of the project with the names above put in their checked form, Windows-1252
  // otherwise, CRLF line ends: what a compiler that reads .hhp files gets.
  std::string prepared_text;
  // Everything found wrong; an error among them means there is nothing to compile.
  std::vector<HhcMessage> messages;

  bool HasErrors() const;
};

// Reads and checks the project: it must be readable, name a compiled file, and every file it
// names (contents, index, [FILES]) must exist inside the project folder.
ParsedProject ReadProject(const std::filesystem::path& project_file);

// Where one compile puts things: the output, and the names under which the contents and index
// files are compiled (their own, or those of re-encoded copies).
struct CompileNames {
  std::filesystem::path output;
  std::string contents_file;
  std::string index_file;
};

// The project text for one compile: "Compiled file=" is the output, and the contents and index
// files are named as given, in the options and in the window definitions.
std::string ProjectTextFor(const ParsedProject& project, const CompileNames& names);

// The [WINDOWS] definitions, as written, with the contents and index files named as given.
std::vector<std::string> WindowsFor(const ParsedProject& project, const CompileNames& names);

enum class Resolution { kFound, kMissing, kOutside };

// Finds the file that a project name (Windows-1252) stands for: read as the UTF-8 name on
// disk, with "\" taken as "/" when that is what exists, else as its raw bytes. Gives the name
// relative to the folder, with "/".
Resolution ResolveProjectName(const std::filesystem::path& folder, std::string_view raw,
                              std::string& relative);

}  // namespace corvina::workshop
