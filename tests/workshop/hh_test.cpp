#include <chm_lib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/HhProgramHelpViewer.h"
#include "platform/PosixFileSystem.h"
#include "platform/RuntimeDirWindows.h"
#include "tests/fakes/TestSupport.h"

extern char** environ;

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::PatchFileBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

const fs::path kHh = fs::path(CORVINA_BIN_DIR) / "hh";

struct ChildOptions {
  fs::path cwd;
  std::map<std::string, std::string> env;  // added to, or replacing, the test's environment
  fs::path out;                            // where stdout and stderr go
  fs::path err;
};

pid_t Spawn(const std::vector<std::string>& command, const ChildOptions& options) {
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (!options.env.contains(entry.substr(0, entry.find('=')))) env_strings.push_back(entry);
  }
  for (const auto& [key, value] : options.env)
    env_strings.push_back(key + "=" + value);
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (const auto& arg : command)
    argv.push_back(const_cast<char*>(arg.c_str()));
  for (const auto& entry : env_strings)
    envp.push_back(const_cast<char*>(entry.c_str()));
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, options.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, options.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(rc, 0) << "cannot start " << command[0];
  return rc == 0 ? pid : -1;
}

int Wait(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct ChildResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

ChildResult RunChild(const TempDir& temp, const std::vector<std::string>& command,
                     ChildOptions options = {}) {
  options.out = temp / "child.out";
  options.err = temp / "child.err";
  ChildResult result;
  result.exit_code = Wait(Spawn(command, options));
  result.out = ReadFileBytes(options.out);
  result.err = ReadFileBytes(options.err);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// A site of pages compiled by chmcmd into <folder>/out.chm.
fs::path CompileSite(const TempDir& temp, const fs::path& folder,
                     const std::map<std::string, std::string>& files) {
  std::string project =
      "[OPTIONS]\nCompiled file=out.chm\nDefault topic=index.htm\nTitle=Test Help\n"
      "Full-text search=No\n\n[FILES]\n";
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(folder / name, bytes);
    project += name + "\n";
  }
  WriteFileBytes(folder / "project.hhp", project);
  ChildResult compiled =
      RunChild(temp, {"chmcmd", "project.hhp"}, {.cwd = folder, .env = {}, .out = {}, .err = {}});
  EXPECT_EQ(compiled.exit_code, 0) << compiled.out << compiled.err;
  EXPECT_TRUE(fs::exists(folder / "out.chm")) << compiled.out << compiled.err;
  return folder / "out.chm";
}

struct ChmCloser {
  void operator()(chmFile* file) const { chm_close(file); }
};
using ChmHandle = std::unique_ptr<chmFile, ChmCloser>;

// The bytes libchm reads for the name, looked up as every libchm reader does.
std::string LibchmRead(const fs::path& chm, const std::string& name) {
  ChmHandle file(chm_open(chm.c_str()));
  if (!file) return "<not opened>";
  chmUnitInfo unit{};
  if (chm_resolve_object(file.get(), name.c_str(), &unit) != CHM_RESOLVE_SUCCESS) {
    return "<not found>";
  }
  std::string bytes(unit.length, '\0');
  LONGINT64 got =
      chm_retrieve_object(file.get(), &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                          static_cast<LONGINT64>(unit.length));
  bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return bytes;
}

int EnumeratedFiles(const fs::path& chm) {
  ChmHandle file(chm_open(chm.c_str()));
  int count = 0;
  chm_enumerate(
      file.get(), CHM_ENUMERATE_FILES | CHM_ENUMERATE_NORMAL,
      [](chmFile*, chmUnitInfo*, void* context) {
        ++*static_cast<int*>(context);
        return CHM_ENUMERATOR_CONTINUE;
      },
      &count);
  return count;
}

// Every file below the folder, relative, with its bytes.
std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file() || it->is_symlink()) {
      files[fs::relative(it->path(), folder).string()] = ReadFileBytes(it->path());
    }
  }
  return files;
}

std::map<std::string, std::string> SmallSite() {
  std::string binary;
  for (int i = 0; i < 70000; ++i)
    binary += static_cast<char>((i * 7919) >> 3);
  return {
      {"index.htm",
       "<html><head><title>Home</title></head><body><a href=\"b.htm\">b</a>"
       "</body></html>\r\n"},
      {"b.htm", "<html><head><title>B</title></head><body>b</body></html>"},
      {"caf\xC3\xA9.htm", "<html><head><title>Caf\xC3\xA9</title></head><body></body></html>"},
      {"images/logo.gif", std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14)},
      {"style/deep/site.css", "body { color: black }\n"},
      {"data/big.bin", binary},
  };
}

TEST(HhDecompileTest, WritesEverySourceFileWithItsBytes) {
  TempDir temp;
  const auto site = SmallSite();
  const fs::path chm = CompileSite(temp, temp / "site", site);
  ChildResult result = RunChild(temp, {kHh, "-decompile", (temp / "out").string(), chm.string()});
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;

  std::map<std::string, std::string> written = FilesBelow(temp / "out");
  EXPECT_EQ(written, site);
  for (const auto& [name, bytes] : written) {
    SCOPED_TRACE(name);
    EXPECT_EQ(bytes, LibchmRead(chm, "/" + name));
  }
  // One line per file, then the summary; the compiler's own files (#SYSTEM, #TOPICS, ...) are
  // neither written nor named.
  std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), site.size() + 1) << result.out;
  EXPECT_EQ(lines.back(), "6 files extracted to \"" + (temp / "out").string() + "\".");
  lines.pop_back();
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> names;
  for (const auto& [name, bytes] : site)
    names.push_back(name);
  EXPECT_EQ(lines, names);
  EXPECT_EQ(result.err, "");
}

TEST(HhDecompileTest, ListsTheChunkThatTheHeaderSkips) {
  TempDir temp;
  std::map<std::string, std::string> site;
  for (int i = 0; i < 400; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "chapter/a-rather-long-page-name-%04d.htm", i);
    site[name] = "<html><head><title>" + std::to_string(i) + "</title></head></html>";
  }
  const fs::path chm = CompileSite(temp, temp / "site", site);
  // The fault this guards against: libchm's enumeration misses the first listing chunk.
  ASSERT_LT(EnumeratedFiles(chm), 400);

  ChildResult result = RunChild(temp, {kHh, "-decompile", (temp / "out").string(), chm.string()});
  EXPECT_EQ(result.exit_code, 0) << result.out;
  EXPECT_EQ(FilesBelow(temp / "out"), site);
}

TEST(HhDecompileTest, RefusesNamesThatLeaveTheFolder) {
  TempDir temp;
  const fs::path chm = CompileSite(temp, temp / "site",
                                   {{"aaaa.htm", "a"},
                                    {"bbbb.htm", "b"},
                                    {"cccc.htm", "c"},
                                    {"dddd.htm", "d"},
                                    {"eeee.htm", "e"},
                                    {"ffff.htm", "f"}});
  PatchFileBytes(chm, "/aaaa.htm", "/../a.htm");
  PatchFileBytes(chm, "/bbbb.htm", "//tmp.htm");
  PatchFileBytes(chm, "/cccc.htm", "/..\\c.htm");
  PatchFileBytes(chm, "/dddd.htm", std::string_view("/dd\0d.htm", 9));
  PatchFileBytes(chm, "/ffff.htm", "/./f.htm/");
  const fs::path out = temp / "work" / "out";

  ChildResult result = RunChild(temp, {kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1);
  const std::string tail = " would be written outside the output folder; it was not extracted";
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                   "HHC6005: Warning: \"/../a.htm\"" + tail,
                                   "HHC6005: Warning: \"//tmp.htm\"" + tail,
                                   "HHC6005: Warning: \"/..\\c.htm\"" + tail,
                                   "HHC6005: Warning: \"/dd\\x00d.htm\"" + tail,
                                   "HHC6005: Warning: \"/./f.htm/\"" + tail,
                                   "eeee.htm",
                                   "1 file extracted to \"" + out.string() + "\"; 5 not extracted.",
                               }));
  EXPECT_EQ(FilesBelow(temp / "work"), (std::map<std::string, std::string>{{"out/eeee.htm", "e"}}));
  EXPECT_FALSE(fs::exists("/tmp.htm"));
}

TEST(HhDecompileTest, NeverWritesThroughSymbolicLinksOrHardLinks) {
  TempDir temp;
  const fs::path chm = CompileSite(
      temp, temp / "site",
      {{"index.htm", "new index"}, {"images/a.gif", "new gif"}, {"page.htm", "new page"}});
  const fs::path out = temp / "out";
  WriteFileBytes(temp / "outside" / "secret.txt", "secret");
  fs::create_directories(out);
  fs::create_symlink(temp / "outside", out / "images");
  fs::create_symlink(temp / "outside" / "secret.txt", out / "index.htm");
  fs::create_hard_link(temp / "outside" / "secret.txt", out / "page.htm");

  ChildResult result = RunChild(temp, {kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1);
  std::vector<std::string> lines = Lines(result.out);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "1 file extracted to \"" + out.string() + "\"; 3 not extracted.",
                       "HHC6006: Warning: " + (out / "images").string() +
                           " is a symbolic link; \"/images/\" was not extracted",
                       "HHC6006: Warning: " + (out / "images").string() +
                           " is a symbolic link; \"/images/a.gif\" was not extracted",
                       "HHC6006: Warning: " + (out / "index.htm").string() +
                           " is a symbolic link; \"/index.htm\" was not extracted",
                       "page.htm",
                   }));
  EXPECT_EQ(FilesBelow(temp / "outside"),
            (std::map<std::string, std::string>{{"secret.txt", "secret"}}));
  EXPECT_EQ(ReadFileBytes(out / "page.htm"), "new page");
  EXPECT_TRUE(fs::is_symlink(out / "index.htm"));
}

TEST(HhDecompileTest, RefusesWhatIsNotAHelpFile) {
  TempDir temp;
  const fs::path chm = CompileSite(temp, temp / "site", {{"index.htm", "x"}});
  const std::string good = ReadFileBytes(chm);
  std::mt19937 generator(11);
  std::string random;
  for (int i = 0; i < 5000; ++i)
    random += static_cast<char>(generator());
  std::string bad_directory = good;
  bad_directory.replace(0x48, 8, std::string("\xFF\xFF\xFF\x00\x00\x00\x00\x00", 8));

  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
  };
  const Case cases[] = {
      {"text", "just some text\n", "is not a compiled help file (.chm)"},
      {"empty", "", "is not a compiled help file (.chm)"},
      {"random", random, "is not a compiled help file (.chm)"},
      {"header only", good.substr(0, 0x60),
       "is damaged: its directory lies beyond the end of the file"},
      {"cut in the directory", good.substr(0, 0x200),
       "is damaged: its directory ends beyond the end of the file"},
      {"bad directory offset", bad_directory,
       "is damaged: its directory lies beyond the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path input = temp / "input.chm";
    WriteFileBytes(input, c.bytes);
    ChildResult result =
        RunChild(temp, {kHh, "-decompile", (temp / "out").string(), input.string()});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.out, "HHC6002: Error: \"" + input.string() + "\" " + c.message + "\n");
    EXPECT_FALSE(fs::exists(temp / "out"));
  }
}

TEST(HhDecompileTest, ReportsADamagedListingChunk) {
  TempDir temp;
  const fs::path chm = CompileSite(temp, temp / "site", {{"index.htm", "x"}});
  std::string bytes = ReadFileBytes(chm);
  // The listing chunk's free-space field claims more than the chunk holds.
  const size_t chunk = 0x78 + 0x54;
  ASSERT_EQ(bytes.substr(chunk, 4), "PMGL");
  bytes.replace(chunk + 4, 4, std::string("\xFF\xFF\x00\x00", 4));
  WriteFileBytes(chm, bytes);

  const fs::path out = temp / "out";
  ChildResult result = RunChild(temp, {kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "HHC6004: Error: \"" + chm.string() +
                            "\": directory chunk 0 is damaged; names after its last readable "
                            "entry are missing\n0 files extracted to \"" +
                            out.string() + "\"; 1 not extracted.\n");
}

TEST(HhDecompileTest, ReportsMissingInputAndFolders) {
  TempDir temp;
  fs::create_directories(temp / "folder.chm");
  ChildResult missing =
      RunChild(temp, {kHh, "-decompile", (temp / "out").string(), (temp / "none.chm").string()});
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.out, "HHC6001: Error: open " + (temp / "none.chm").string() +
                             ": No such file or directory\n");
  ChildResult folder =
      RunChild(temp, {kHh, "-decompile", (temp / "out").string(), (temp / "folder.chm").string()});
  EXPECT_EQ(folder.exit_code, 2);
  EXPECT_EQ(folder.out,
            "HHC6001: Error: open " + (temp / "folder.chm").string() + ": Is a directory\n");
  EXPECT_FALSE(fs::exists(temp / "out"));
}

TEST(HhDecompileTest, ReportsFilesItCannotRead) {
  TempDir temp;
  std::mt19937 random(7);
  std::string big;
  for (int i = 0; i < 200000; ++i)
    big += static_cast<char>(random());
  const fs::path chm = CompileSite(temp, temp / "site", {{"index.htm", "x"}, {"big.bin", big}});
  // Cut the compressed content short: the directory is intact, the bytes are not.
  std::string bytes = ReadFileBytes(chm);
  ASSERT_GT(bytes.size(), 200000u);
  WriteFileBytes(chm, bytes.substr(0, bytes.size() / 2));

  const fs::path out = temp / "out";
  ChildResult result = RunChild(temp, {kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1) << result.out;
  EXPECT_NE(
      result.out.find("HHC6007: Error: could not read \"/big.bin\" from \"" + chm.string() + "\""),
      std::string::npos)
      << result.out;
  // Nothing half-written is left as if it were good.
  EXPECT_FALSE(fs::exists(out / "big.bin"));
  for (const auto& [name, content] : FilesBelow(out))
    EXPECT_FALSE(name.starts_with(".hh-")) << name;
}

TEST(HhDecompileTest, ReplacesExistingFilesAndCannotWriteOverFolders) {
  TempDir temp;
  const fs::path chm =
      CompileSite(temp, temp / "site", {{"index.htm", "new"}, {"other.htm", "other"}});
  const fs::path out = temp / "out";
  WriteFileBytes(out / "index.htm", "old and longer content");
  fs::create_directories(out / "other.htm");
  ChildResult result = RunChild(temp, {kHh, "-decompile", out.string(), chm.string()});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(ReadFileBytes(out / "index.htm"), "new");
  EXPECT_NE(result.out.find("HHC6008: Error: create " + (out / "other.htm").string() +
                            ": Is a directory"),
            std::string::npos)
      << result.out;
}

// Sets environment variables for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A viewer stand-in: records the windows registered when it started and then its arguments
// (the arguments file appears last, complete), then runs until it is ended or ends at once.
void WriteFakeViewer(const fs::path& path, bool stays_open) {
  WriteFileBytes(path,
                 "#!/bin/sh\n"
                 "cat \"$XDG_RUNTIME_DIR\"/corvina/windows/*.window > \"$0.windows\"\n"
                 "printf '%s\\n' \"$@\" > \"$0.part\"\n"
                 "mv \"$0.part\" \"$0.args\"\n" +
                     std::string(stays_open ? "exec sleep 600\n" : "exit 0\n"));
  fs::permissions(path, fs::perms::owner_all);
}

// Waits, with a generous limit, until the file exists.
bool WaitForFile(const fs::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Waits, with a generous limit, until a window of that caption is registered.
WindowHandle WaitForWindow(RuntimeDirWindows& windows, std::string_view caption) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (WindowHandle window = windows.FindWindow("HH Parent", caption); window != kNoWindow) {
      return window;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ADD_FAILURE() << "no window \"" << caption << "\" appeared";
  return kNoWindow;
}

// True when someone holds a lock on the file, as the file-system object's deletion checks.
bool IsLocked(const fs::path& file) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return locked;
}

struct ViewerSetup {
  fs::path chm;
  fs::path bin;
  fs::path run;
  ChildOptions options;
};

ViewerSetup SetUpViewer(const TempDir& temp, const char* viewer, bool stays_open) {
  ViewerSetup setup;
  setup.chm = CompileSite(temp, temp / "site", {{"index.htm", "i"}, {"b.htm", "b"}});
  setup.bin = temp / "bin";
  setup.run = temp / "run";
  fs::create_directories(setup.run);
  if (viewer != nullptr) WriteFakeViewer(setup.bin / viewer, stays_open);
  setup.options.env = {{"PATH", setup.bin.string() + ":/usr/bin:/bin"},
                       {"XDG_RUNTIME_DIR", setup.run.string()}};
  setup.options.out = temp / "view.out";
  setup.options.err = temp / "view.err";
  return setup;
}

TEST(HhViewTest, HoldsTheFileAndItsWindowUntilToldToClose) {
  TempDir temp;
  ViewerSetup setup = SetUpViewer(temp, "xchm", true);
  pid_t hh = Spawn({kHh, setup.chm.string() + "::/b.htm"}, setup.options);
  RuntimeDirWindows windows(setup.run / "corvina" / "windows");
  WindowHandle window = WaitForWindow(windows, "Test Help");
  ASSERT_NE(window, kNoWindow);
  ASSERT_TRUE(WaitForFile(setup.bin / "xchm.args"));
  EXPECT_TRUE(IsLocked(setup.chm));
  // The file-system object refuses to delete the file that the viewer shows, as on Windows.
  PosixFileSystem files;
  EXPECT_EQ(files.DeleteFile(setup.chm.string(), false).number(), kErrPermissionDenied);
  EXPECT_EQ(files.DeleteFile(setup.chm.string(), true).number(), kErrPermissionDenied);
  EXPECT_TRUE(fs::exists(setup.chm));

  EXPECT_TRUE(windows.SendMessage(window, kWmClose, 0, 0).ok());
  EXPECT_EQ(Wait(hh), 0);
  EXPECT_FALSE(IsLocked(setup.chm));
  EXPECT_EQ(windows.FindWindow("HH Parent", "Test Help"), kNoWindow);
  EXPECT_EQ(ReadFileBytes(setup.bin / "xchm.args"), setup.chm.string() + "\n");
  EXPECT_EQ(ReadFileBytes(temp / "view.err"), "");
  EXPECT_TRUE(files.DeleteFile(setup.chm.string(), false).ok());
}

TEST(HhViewTest, EndsWithTheViewerAndNamesTheWindowAfterTheFileWithoutTitle) {
  TempDir temp;
  ViewerSetup setup = SetUpViewer(temp, "kchmviewer", false);
  WriteFileBytes(temp / "site" / "project.hhp",
                 "[OPTIONS]\nCompiled file=untitled.chm\n\n[FILES]\nindex.htm\nb.htm\n");
  ASSERT_EQ(RunChild(temp, {"chmcmd", "project.hhp"},
                     {.cwd = temp / "site", .env = {}, .out = {}, .err = {}})
                .exit_code,
            0);
  const fs::path chm = temp / "site" / "untitled.chm";

  ChildResult result = RunChild(temp, {kHh, chm.string(), "/b.htm"}, setup.options);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(ReadFileBytes(setup.bin / "kchmviewer.args"),
            "-showPage\nb.htm\n" + chm.string() + "\n");
  EXPECT_NE(ReadFileBytes(setup.bin / "kchmviewer.windows").find("\nHH Parent\nuntitled.chm\n"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(setup.run / "corvina" / "windows"));
  EXPECT_FALSE(IsLocked(chm));
}

TEST(HhViewTest, SaysWhenNoViewerIsInstalledOrTheFileIsNoHelpFile) {
  TempDir temp;
  ViewerSetup setup = SetUpViewer(temp, nullptr, false);
  ChildResult none = RunChild(temp, {kHh, setup.chm.string()}, setup.options);
  EXPECT_EQ(none.exit_code, 3);
  EXPECT_EQ(none.err, "hh: no help viewer is installed: install xchm or kchmviewer to open \"" +
                          setup.chm.string() + "\"\n");

  WriteFileBytes(temp / "text.chm", "text");
  ChildResult text = RunChild(temp, {kHh, (temp / "text.chm").string()}, setup.options);
  EXPECT_EQ(text.exit_code, 2);
  EXPECT_EQ(text.err,
            "hh: \"" + (temp / "text.chm").string() + "\" is not a compiled help file (.chm)\n");
  EXPECT_FALSE(fs::exists(setup.run / "corvina"));
}

TEST(HhProgramHelpViewerTest, StartsHhDetachedAtTheTopic) {
  TempDir temp;
  ViewerSetup setup = SetUpViewer(temp, "kchmviewer", true);
  ScopedEnv path("PATH", setup.options.env["PATH"]);
  ScopedEnv runtime("XDG_RUNTIME_DIR", setup.run.string());

  HhProgramHelpViewer viewer(kHh);
  Status opened = viewer.HtmlHelp(0, setup.chm.string(), kHhDisplayToc, "b.htm");
  ASSERT_TRUE(opened.ok()) << opened.description();
  RuntimeDirWindows windows(setup.run / "corvina" / "windows");
  WindowHandle window = WaitForWindow(windows, "Test Help");
  ASSERT_TRUE(WaitForFile(setup.bin / "kchmviewer.args"));
  EXPECT_TRUE(IsLocked(setup.chm));
  EXPECT_TRUE(windows.SendMessage(window, kWmClose, 0, 0).ok());
  EXPECT_FALSE(IsLocked(setup.chm));
  EXPECT_EQ(ReadFileBytes(setup.bin / "kchmviewer.args"),
            "-showPage\nb.htm\n" + setup.chm.string() + "\n");
}

TEST(HhProgramHelpViewerTest, BuildsTheCommandLineOfEachCommand) {
  HhProgramHelpViewer viewer("/opt/w/hh");
  using Line = std::vector<std::string>;
  EXPECT_EQ(*viewer.CommandLine("/a b/x.chm", kHhDisplayTopic, "index.html"),
            (Line{"/opt/w/hh", "/a b/x.chm::/index.html"}));
  EXPECT_EQ(*viewer.CommandLine("/x.chm", kHhDisplayTopic, ""), (Line{"/opt/w/hh", "/x.chm"}));
  EXPECT_EQ(*viewer.CommandLine("/x.chm", kHhDisplayToc, "/sub/p.htm"),
            (Line{"/opt/w/hh", "/x.chm", "sub/p.htm"}));
  EXPECT_EQ(*viewer.CommandLine("/x.chm", kHhDisplayToc, ""), (Line{"/opt/w/hh", "/x.chm"}));
  EXPECT_FALSE(viewer.CommandLine("/x.chm", 2, "").ok());
  EXPECT_FALSE(viewer.HtmlHelp(0, "/x.chm", kHhDisplayToc, "").ok());  // no such program
  EXPECT_EQ(HhProgramHelpViewer::DefaultProgram().filename(), "hh");
}

TEST(HhTest, PrintsUsageForBadArguments) {
  TempDir temp;
  for (const auto& command : std::vector<std::vector<std::string>>{
           {kHh}, {kHh, "-decompile", "dir"}, {kHh, "-decompile", "a", "b", "c"}, {kHh, "-x"}}) {
    SCOPED_TRACE(command.size());
    ChildResult result = RunChild(temp, command);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_TRUE(result.err.starts_with("usage: hh -decompile DIR FILE")) << result.err;
  }
}

}  // namespace
}  // namespace corvina
