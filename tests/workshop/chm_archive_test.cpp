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
#include "workshop/chm/fuzz/ChmReadBack.h"

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

TEST(ChmDirectoryTest, EncIntPutsTheMostSignificantGroupFirst) {
  const std::pair<uint64_t, std::vector<uint8_t>> cases[] = {
      {0, {0x00}},
      {127, {0x7f}},
      {128, {0x81, 0x00}},
      {15729, {0xfa, 0x71}},
      {0xFFFFFFFFull, {0x8f, 0xff, 0xff, 0xff, 0x7f}}};
  for (const auto& [value, bytes] : cases) {
    SCOPED_TRACE(value);
    std::vector<uint8_t> out;
    AppendEncInt(out, value);
    EXPECT_EQ(out, bytes);
  }
}

TEST(ChmDirectoryTest, NamesSortAsReadersSearchThem) {
  const std::vector<std::string> sorted = {
      "/", "/A.htm", "/a/x", "/a0", "/a_b", "/ab", "/B", "/b.htm", "::DataSpace/", "/\xc3\x84.htm"};
  std::vector<std::string> expected = {"/",   "/A.htm", "/a/x",   "/a0",           "/a_b",
                                       "/ab", "/B",     "/b.htm", "/\xc3\x84.htm", "::DataSpace/"};
  std::vector<std::string> names = sorted;
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareChmNames(a, b) < 0; });
  EXPECT_EQ(names, expected);
  EXPECT_EQ(CompareChmNames("/Index.HTM", "/index.htm"), 0);
}

TEST(ChmDirectoryTest, ListingChunkCarriesFreeSpaceQuickRefsAndCount) {
  std::vector<ChmDirectoryEntry> entries;
  size_t entry_bytes = 0;
  for (int i = 0; i < 12; ++i) {
    entries.push_back({"/page" + std::to_string(10 + i) + ".htm", 1, uint64_t(i) * 200, 200});
    entry_bytes += 1 + entries.back().name.size() + 1 + (i == 0 ? 1 : 2) + 2;
  }
  const ChmDirectory directory = BuildChmDirectory(entries, 0x409);
  ASSERT_EQ(directory.bytes.size(), kChmItspHeaderSize + kChmChunkSize);
  const std::string bytes(directory.bytes.begin(), directory.bytes.end());
  EXPECT_EQ(bytes.substr(0, 4), "ITSP");
  EXPECT_EQ(U32(bytes, 0x18), 1u);           // depth: listing chunks only
  EXPECT_EQ(U32(bytes, 0x1C), 0xFFFFFFFFu);  // no index root
  EXPECT_EQ(U32(bytes, 0x20), 0u);           // first listing chunk
  const std::string chunk = bytes.substr(kChmItspHeaderSize);
  EXPECT_EQ(chunk.substr(0, 4), "PMGL");
  EXPECT_EQ(U32(chunk, 4), kChmChunkSize - 20 - entry_bytes);
  EXPECT_EQ(U32(chunk, 12), 0xFFFFFFFFu);
  EXPECT_EQ(U32(chunk, 16), 0xFFFFFFFFu);
  auto word = [&](size_t at) { return U32(chunk + "  ", at) & 0xFFFF; };
  EXPECT_EQ(word(4094), 12u);
  // Quick references to entries 5 and 10, from the end backwards. Entry 0 takes 16 bytes
  // ("/page10.htm", offset 0 in one byte), the others 17.
  EXPECT_EQ(word(4092), 16u + 4 * 17);
  EXPECT_EQ(word(4090), 16u + 9 * 17);
}

class ChmArchiveTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(ChmArchiveTest, HundredThousandFilesNeedIndexChunksAndAllComeBack) {
  const fs::path chm = dir_ / "many.chm";
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

TEST_F(ChmArchiveTest, Utf8NamesComeBackFromEveryReader) {
  const fs::path chm = dir_ / "names.chm";
  const std::map<std::string, std::string> expected = {
      {"/\xc3\x9c"
       "ber/\xc3\x9f.htm",
       "eszett"},
      {"/\xe6\x97\xa5\xe6\x9c\xac.html", "japan"},
      {"/Caf\xc3\xa9.htm", "cafe"},
  };
  {
    auto writer = ChmArchiveWriter::Create(chm, {});
    ASSERT_TRUE(writer.ok());
    for (const auto& [name, body] : expected) {
      ASSERT_TRUE((*writer)->AddCompressed(name, Bytes(body)).ok());
    }
    ASSERT_TRUE((*writer)->Finish().ok());
  }
  for (const auto& contents : {readback::ReadWithLibchm(chm), readback::ReadWithLibmspack(chm)}) {
    EXPECT_EQ(contents.error, "");
    for (const auto& [name, body] : expected) {
      auto it = contents.files.find(name);
      ASSERT_NE(it, contents.files.end()) << name;
      EXPECT_EQ(it->second, body);
    }
  }
  EXPECT_EQ(readback::FastFindWithLibmspack(chm, expected), std::vector<std::string>{});
}

TEST_F(ChmArchiveTest, TheSameBytesWhateverTheNumberOfThreads) {
  std::string data;
  for (int i = 0; data.size() < 700000; ++i) {
    data += "<p>row " + std::to_string(i * 31 % 977) + " of the table</p>\r\n";
  }
  std::vector<std::string> outputs;
  for (int threads : {1, 2, 5}) {
    const fs::path chm = dir_ / ("t" + std::to_string(threads) + ".chm");
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

TEST_F(ChmArchiveTest, BadNamesAreRefusedWithAClearMessage) {
  auto writer = ChmArchiveWriter::Create(dir_ / "x.chm", {});
  ASSERT_TRUE(writer.ok());
  ASSERT_TRUE((*writer)->AddCompressed("/Index.htm", Bytes("a")).ok());
  const std::pair<std::string, std::string> cases[] = {
      {"/index.HTM",
       "names differ only in letter case, which a .chm cannot tell apart: \"/Index.htm\" and "
       "\"/index.HTM\""},
      {"/Index.htm", "file listed twice: \"/Index.htm\""},
      {"relative.htm", "bad name for a file in a .chm: \"relative.htm\""},
      {"/folder/", "bad name for a file in a .chm: \"/folder/\""},
      {"/" + std::string(2000, 'a'),
       "name too long for a .chm (more than 1024 bytes): \"/" + std::string(59, 'a') + "\"..."},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name.substr(0, 40));
    const Status status = (*writer)->AddCompressed(name, Bytes("b"));
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.description(), message);
  }
  // The writer is still usable after refusing a name.
  EXPECT_TRUE((*writer)->AddCompressed("/other.htm", Bytes("c")).ok());
  EXPECT_TRUE((*writer)->Finish().ok());
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

TEST_F(ChmFailureTest, NamesThatDifferOnlyInCase) {
  ChmProject project = Project({"a.htm", "Pages/One.htm"});
  WriteFileBytes(dir_ / "site" / "pages" / "one.htm", "other");
  project.files.push_back("pages/one.htm");
  const Status status = CompileChm(project);
  EXPECT_EQ(status.description(),
            "names differ only in letter case, which a .chm cannot tell apart: "
            "\"Pages/One.htm\" and \"pages/one.htm\"");
  ExpectOnlyTheEarlierFile();
}

TEST_F(ChmFailureTest, NamesLeavingTheProjectFolderOrMissingFiles) {
  const std::pair<std::string, std::string> cases[] = {
      {"../secret.htm",
       "bad file name in the project (it must be relative and stay inside the project folder): "
       "\"../secret.htm\""},
      {"/etc/passwd",
       "bad file name in the project (it must be relative and stay inside the project folder): "
       "\"/etc/passwd\""},
      {"missing.htm",
       "cannot read " + (dir_ / "site" / "missing.htm").string() + ": No such file or directory"},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    ChmProject project = Project({"a.htm"});
    project.files.push_back(name);
    EXPECT_EQ(CompileChm(project).description(), message);
    ExpectOnlyTheEarlierFile();
  }
}

TEST_F(ChmFailureTest, AFileLargerThanTheFormatAllows) {
  ChmProject project = Project({"a.htm"});
  {
    // Sparse: takes no room on disk.
    WriteFileBytes(dir_ / "site" / "huge.bin", "");
    fs::resize_file(dir_ / "site" / "huge.bin", 0x100000000ull);
  }
  project.files.push_back("huge.bin");
  EXPECT_EQ(CompileChm(project).description(),
            "file too large for a .chm (4294967296 bytes, at most 4294967295): \"huge.bin\"");
  ExpectOnlyTheEarlierFile();
}

TEST_F(ChmFailureTest, AnOutputThatCannotBeWritten) {
  ChmProject project = Project({"a.htm"});
  project.compiled_file = dir_ / "site" / "a.htm" / "help.chm";  // under a file
  EXPECT_EQ(CompileChm(project).number(), kErrPathNotFound);
  project.compiled_file = dir_ / "out";  // a folder
  EXPECT_EQ(CompileChm(project).description(),
            "cannot write " + (dir_ / "out").string() + ": it is a folder");
  ExpectOnlyTheEarlierFile();
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
