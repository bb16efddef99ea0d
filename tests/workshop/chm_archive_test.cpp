#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "workshop/chm/ChmArchiveWriter.h"
#include "workshop/chm/ChmCompiler.h"
#include "workshop/chm/ChmDirectory.h"
#include "tests/helpers/ChmReadBack.h"

namespace corvina::chm {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

uint32_t U32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(ChmArchiveTest, HundredThousandFilesNeedIndexChunksAndAllComeBack) {
  TempDir dir;
  const fs::path chm = dir / "many.chm";
  std::map<std::string, std::string> expected;
  {
    auto writer = ChmArchiveWriter::Create(chm, {});
    ASSERT_TRUE(writer.ok());
    char name[32];
    for (int i = 0; i < 100000; ++i) {
      std::snprintf(name, sizeof name, "/f%06d.txt", i);
      std::string body = "file " + std::to_string(i * 7919 % 100003);
      ASSERT_TRUE((*writer)->AddCompressed(name, Bytes(body)).ok());
      expected[name] = std::move(body);
    }
    ASSERT_TRUE((*writer)->Finish().ok());
  }
  const std::string head = ReadFileBytes(chm).substr(0, 0x78 + kChmItspHeaderSize);
  EXPECT_EQ(U32(head, 0x78 + 0x18), 3u);  // two index levels
  EXPECT_NE(U32(head, 0x78 + 0x1C), 0xFFFFFFFFu);

  const readback::ChmContents libchm = readback::ReadWithLibchm(chm);
  EXPECT_EQ(libchm.error, "");
  size_t same = 0;
  for (const auto& [name, bytes] : expected) {
    auto it = libchm.files.find(name);
    same += it != libchm.files.end() && it->second == bytes;
  }
  EXPECT_EQ(same, expected.size());
  for (const char* name : {"/f000000.txt", "/F050000.TXT", "/f099999.txt"}) {
    std::string bytes;
    EXPECT_TRUE(readback::LookUpWithLibchm(chm, name, bytes)) << name;
  }
  std::string bytes;
  EXPECT_FALSE(readback::LookUpWithLibchm(chm, "/f100000.txt", bytes));
  EXPECT_EQ(readback::FastFindWithLibmspack(chm, expected), std::vector<std::string>{});
}

TEST(ChmArchiveTest, TheSameBytesWhateverTheNumberOfThreads) {
  TempDir dir;
  std::string data;
  for (int i = 0; data.size() < 700000; ++i) {
    data += "<p>row " + std::to_string(i * 31 % 977) + " of the table</p>\r\n";
  }
  std::vector<std::string> outputs;
  for (int threads : {1, 2, 5}) {
    const fs::path chm = dir / ("t" + std::to_string(threads) + ".chm");
    ChmArchiveOptions options;
    options.threads = threads;
    auto writer = ChmArchiveWriter::Create(chm, options);
    ASSERT_TRUE(writer.ok());
    ASSERT_TRUE((*writer)->AddCompressed("/a.htm", Bytes(data)).ok());
    ASSERT_TRUE((*writer)->AddCompressed("/b.htm", Bytes(data.substr(1000))).ok());
    ASSERT_TRUE((*writer)->Finish().ok());
    outputs.push_back(ReadFileBytes(chm));
  }
  EXPECT_TRUE(outputs[0] == outputs[1]);
  EXPECT_TRUE(outputs[0] == outputs[2]);
}

// A project whose compile fails leaves no compiled file and keeps any earlier one as it was.
class ChmFailureTest : public ::testing::Test {
 protected:
  ChmProject Project(std::vector<std::string> files) {
    for (const std::string& name : files)
      WriteFileBytes(dir_ / "site" / name, "<p>" + name);
    ChmProject project;
    project.compiled_file = dir_ / "out" / "help.chm";
    project.project_folder = dir_ / "site";
    project.files = std::move(files);
    fs::create_directories(dir_ / "out");
    WriteFileBytes(project.compiled_file, "earlier compile");
    return project;
  }
  void ExpectOnlyTheEarlierFile() {
    EXPECT_EQ(ReadFileBytes(dir_ / "out" / "help.chm"), "earlier compile");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
  }
  TempDir dir_;
};

TEST_F(ChmFailureTest, BadNamesMissingAndOversizedFilesAreRefused) {
  const std::string bad_name =
      "bad file name in the project (it must be relative and stay inside the project folder): ";
  // The file added to a project of a.htm and Pages/One.htm, and the refusal.
  const std::pair<std::string, std::string> cases[] = {
      {"pages/one.htm",
       "names differ only in letter case, which a .chm cannot tell apart: "
       "\"Pages/One.htm\" and \"pages/one.htm\""},
      {"../secret.htm", bad_name + "\"../secret.htm\""},
      {"/etc/passwd", bad_name + "\"/etc/passwd\""},
      {"missing.htm",
       "cannot read " + (dir_ / "site" / "missing.htm").string() + ": No such file or directory"},
      {"huge.bin",
       "file too large for a .chm (4294967296 bytes, at most 4294967295): \"huge.bin\""},
  };
  WriteFileBytes(dir_ / "site" / "pages" / "one.htm", "other");
  WriteFileBytes(dir_ / "site" / "huge.bin", "");
  fs::resize_file(dir_ / "site" / "huge.bin", 0x100000000ull);  // sparse: takes no room
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    ChmProject project = Project({"a.htm", "Pages/One.htm"});
    project.files.push_back(name);
    EXPECT_EQ(CompileChm(project).description(), message);
    ExpectOnlyTheEarlierFile();
  }
}

TEST_F(ChmFailureTest, ADiskThatFillsUp) {
  ChmProject project = Project({"a.htm"});
  std::string noise;
  for (uint32_t x = 1; noise.size() < 3000000; x = x * 1103515245 + 12345) {
    noise += static_cast<char>(x >> 16);
  }
  WriteFileBytes(dir_ / "site" / "noise.bin", noise);
  project.files.push_back("noise.bin");
  // The child may write at most 1 MB per file, like a nearly full disk.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const Status status = CompileChm(project);
    const bool clear =
        !status.ok() && status.description().find("File too large") != std::string::npos;
    ::_exit(clear ? 0 : 1);
  }
  int wait_status = 0;
  ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
  EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
  ExpectOnlyTheEarlierFile();
}

}  // namespace
}  // namespace corvina::chm
