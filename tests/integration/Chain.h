#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextEncoding.h"
#include "tests/fakes/TestSupport.h"
#include "tests/helpers/ChmReadBack.h"

// The whole road for the integration tests: a site folder through the built corvina, hhc and
// hh, read back by libchm, chmls and hh.
namespace corvina::chain {

namespace fs = std::filesystem;
using testing::BuiltProgram;
using testing::ProgramRun;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// The lines of a text that start with the prefix, in order.
inline std::vector<std::string> LinesStarting(const std::string& text, std::string_view prefix) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, prefix.size(), prefix) == 0)
      lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// Every file below the folder, by "/"-separated relative path, with its bytes.
inline std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), folder).generic_string()] = ReadFileBytes(entry.path());
  }
  return files;
}

// Our temporary files (the generated contents, index and derived-images page): their names
// change from one compilation to the next.
inline bool IsTemporary(std::string_view name) {
  return name.starts_with("Cor") || name.starts_with("/Cor");
}

// The files of a help file that came from the site, as libchm reads them, named as FilesBelow
// names them: not the format's own files, nor our temporary ones.
inline std::map<std::string, std::string> SiteFilesIn(const fs::path& chm) {
  const chm::readback::ChmContents contents = chm::readback::ReadWithLibchm(chm);
  EXPECT_EQ(contents.error, "");
  std::map<std::string, std::string> files;
  for (const auto& [name, bytes] : contents.files) {
    if (!IsTemporary(name) && !name.starts_with("/#") && !name.starts_with("/$") &&
        !name.starts_with("::")) {
      files[name.substr(1)] = bytes;
    }
  }
  return files;
}

// "Contents file=...", "Title=..." and the like, as hh -options prints them.
inline std::map<std::string, std::string> ProjectOptions(const fs::path& chm) {
  const ProgramRun run = RunProgram({BuiltProgram("hh"), "-options", chm.string()});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  std::map<std::string, std::string> options;
  for (const std::string& line : LinesStarting(run.out, ""))
    options[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
  return options;
}

// The contents or index ("extracttoc", "extractindex") that chmls reads from the help file, one
// entry a line: indent, the names, "->" and the page. Labels are Windows-1252 inside; they come
// back as UTF-8.
inline std::vector<std::string> Outline(const fs::path& chm, const std::string& what) {
  const fs::path file = chm.parent_path() / (what + ".txt");
  RunProgram({"/usr/bin/chmls", what, chm.string(), file.string()});
  const std::string text = ReadFileBytes(file);
  fs::remove(file);
  std::vector<std::string> lines;
  int depth = -1;
  std::string entry;
  // The tokens of a sitemap, read in order: list starts and ends, parameters, entry ends.
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    std::string tag = text.substr(at, text.find('>', at) + 1 - at);
    for (char& c : tag)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tag == "<ul>") {
      ++depth;
    } else if (tag == "</ul>") {
      --depth;
    } else if (tag == "</object>") {
      if (!entry.empty()) lines.push_back(std::string(2 * depth, ' ') + entry);
      entry.clear();
    } else if (tag.starts_with("<param name=\"")) {
      const size_t value_at = text.find("value=\"", at, 7) + 7;
      const std::string name = text.substr(at + 13, text.find('"', at + 13) - at - 13);
      std::string value = text.substr(value_at, text.find('"', value_at) - value_at);
      for (size_t amp = value.find("&amp;"); amp != std::string::npos;
           amp = value.find("&amp;", amp + 1)) {
        value.replace(amp, 5, "&");
      }
      // Page names are the UTF-8 names the files are stored as.
      if (name != "Local") value = AnsiToUtf8(value);
      entry += (name == "Local" ? " -> " : entry.empty() ? "" : " | ") + value;
    }
  }
  return lines;
}

// A site in a folder of the test's own, with settings of its own (TempDir points
// XDG_CONFIG_HOME into itself), and the programs run on it.
class ChainTest : public ::testing::Test {
 protected:
  void CopySite(std::string_view data = "sites/basic") {
    fs::copy(testing::TestDataPath(data), site_, fs::copy_options::recursive);
  }

  // Records the compiler built beside corvina.
  void SetUpCorvina() {
    const ProgramRun setup = Corvina({"setup"});
    ASSERT_EQ(setup.exit_code, 0) << setup.err;
  }

  // Records as the help compiler a shell script with this text.
  void UseCompiler(const std::string& script) {
    Script(dir_ / "workshop" / "hhc", script);
    const ProgramRun setup = Corvina({"setup", "--workshop", (dir_ / "workshop").string()});
    ASSERT_EQ(setup.exit_code, 0) << setup.err;
  }

  void Script(const fs::path& path, const std::string& text) {
    WriteFileBytes(path, text);
    fs::permissions(path, fs::perms::owner_all);
  }

  ProgramRun Corvina(std::vector<std::string> args) {
    args.insert(args.begin(), corvina_);
    return RunProgram(args);
  }

  // corvina compile of the site, with the options.
  ProgramRun Compile(std::vector<std::string> options) {
    options.insert(options.begin(), {"compile", site_.string()});
    return Corvina(std::move(options));
  }

  // Every file of the test's folder but the settings store's.
  std::map<std::string, std::string> FilesButSettings() {
    std::map<std::string, std::string> files = FilesBelow(dir_.path());
    std::erase_if(files, [](const auto& file) { return file.first.starts_with("config/"); });
    return files;
  }

  // Our temporary files and hidden files left in the site.
  std::set<std::string> LeftInSite() {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(site_)) {
      const std::string name = entry.path().filename().string();
      if (IsTemporary(name) || name.starts_with(".")) found.insert(name);
    }
    return found;
  }

  TempDir dir_;
  fs::path site_ = dir_ / "site";
  fs::path chm_ = dir_ / "help.chm";
  std::string corvina_ = BuiltProgram("corvina");
};

}  // namespace corvina::chain
