#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/TestSupport.h"
#include "tests/workshop/HhTestSupport.h"
#include "tests/workshop/HostileChm.h"
#include "workshop/chm/ChmArchiveWriter.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
namespace hc = hostile_chm;
using hh_testing::FilesBelow;
using hh_testing::kHh;
using hh_testing::Lines;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr char kResetTable[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
    "InstanceData/ResetTable";
constexpr char kControlData[] = "::DataSpace/Storage/MSCompressed/ControlData";

// hh under limits: a run that spins is ended by the CPU limit instead of hanging the suite.
testing::ProgramRun RunHh(std::vector<std::string> args, std::vector<std::string> limits = {}) {
  std::vector<std::string> argv = {"/usr/bin/prlimit", "--cpu=120"};
  argv.insert(argv.end(), limits.begin(), limits.end());
  argv.push_back("--");
  argv.push_back(kHh);
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::RunProgram(argv);
}

// A help file of our own writer with compressed pages, whose compression tables tests damage.
std::string CompressedChm(const fs::path& folder) {
  const fs::path chm = folder / "compressed.chm";
  auto writer = chm::ChmArchiveWriter::Create(chm, {});
  EXPECT_TRUE(writer.ok());
  std::string page;
  for (int i = 0; page.size() < 100000; ++i)
    page += "<p>line " + std::to_string(i * 7919 % 10007) + "</p>\n";
  const auto bytes = std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size());
  EXPECT_TRUE((*writer)->AddCompressed("/a.htm", bytes).ok());
  EXPECT_TRUE((*writer)->AddCompressed("/b.htm", bytes.subspan(0, 5000)).ok());
  EXPECT_TRUE((*writer)->Finish().ok());
  return ReadFileBytes(chm);
}

TEST(HhHostileTest, RefusesDirectoriesAndCompressionTablesThatLibchmWouldLoopOrCrashOn) {
  TempDir temp;
  const std::vector<hc::Entry> pages = {{"/a.htm", 0, 1}, {"/b.htm", 1, 1}};
  auto index_file = [&](std::vector<std::string> index_chunks, int32_t root) {
    hc::Layout layout;
    layout.chunks.push_back(hc::ListingChunk(pages, layout.chunk_size));
    for (const std::string& chunk : index_chunks)
      layout.chunks.push_back(chunk);
    layout.root = root;
    layout.data = "ab";
    return hc::Build(layout);
  };
  const std::string compressed = CompressedChm(temp.path());
  const size_t reset_table = hc::FileOffsetOf(compressed, kResetTable);
  const size_t control_data = hc::FileOffsetOf(compressed, kControlData);
  ASSERT_NE(reset_table, std::string::npos);
  ASSERT_NE(control_data, std::string::npos);
  auto patched = [&](size_t at, uint64_t value, int bytes) {
    std::string chm = compressed;
    bytes == 8 ? hc::SetU64(chm, at, value) : hc::SetU32(chm, at, static_cast<uint32_t>(value));
    return chm;
  };

  struct Case {
    const char* name;
    std::string bytes;
    std::string problem;
  };
  const Case cases[] = {
      {"index chunk pointing to itself", index_file({hc::IndexChunk({{"/a.htm", 1}}, 4096)}, 1),
       "its directory index chunk 1 leads back to chunk 1"},
      {"index chunks pointing to each other",
       index_file({hc::IndexChunk({{"/a.htm", 2}}, 4096), hc::IndexChunk({{"/a.htm", 1}}, 4096)},
                  2),
       "its directory index chunk 1 leads back to chunk 2"},
      {"index child past the directory", index_file({hc::IndexChunk({{"/a.htm", 9}}, 4096)}, 1),
       "its directory index chunk 1 points to chunk 9 of 2"},
      {"index root past the directory", index_file({}, 7),
       "its directory index starts at chunk 7 of 1"},
      {"index entry running off its chunk",
       index_file({hc::IndexChunk({{std::string(4080, 'x'), 0}}, 4096).substr(0, 8) +
                   std::string(4088, '\xFF')},
                  1),
       "its directory index chunk 1 is damaged"},
      {"frame length 0", patched(reset_table + 0x20, 0, 8),
       "its compressed frame length (ResetTable) is 0, not 32768"},
      {"frame length of 4 GiB", patched(reset_table + 0x20, 0xFFFFFFFF, 8),
       "its compressed frame length (ResetTable) is 4294967295, not 32768"},
      {"window of 0", patched(control_data + 0x10, 0, 4),
       "its compression settings (ControlData) are invalid"},
      {"frame longer than its buffer", patched(reset_table + 0x28 + 8, 0x7FFFFFFF, 8),
       "its frame table (ResetTable) is damaged at frame 0"},
      {"frame table past the file", patched(reset_table + 0x04, 0x10000000, 4),
       "its frame table (ResetTable) lies beyond the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path input = temp / "hostile.chm";
    WriteFileBytes(input, c.bytes);
    const std::string expected =
        "HHC6002: Error: \"" + input.string() + "\" is damaged: " + c.problem + "\n";
    testing::ProgramRun decompiled = RunHh({"-decompile", (temp / "out").string(), input.string()});
    EXPECT_EQ(decompiled.exit_code, 2) << decompiled.err;
    EXPECT_EQ(decompiled.out, expected);
    EXPECT_FALSE(fs::exists(temp / "out"));
    testing::ProgramRun options = RunHh({"-options", input.string()});
    EXPECT_EQ(options.exit_code, 2) << options.err;
  }
  // The file the damaged ones came from reads back whole.
  WriteFileBytes(temp / "good.chm", compressed);
  testing::ProgramRun good =
      RunHh({"-decompile", (temp / "good").string(), (temp / "good.chm").string()});
  EXPECT_EQ(good.exit_code, 0) << good.out;
  EXPECT_EQ(FilesBelow(temp / "good").size(), 2u);
}

TEST(HhHostileTest, OnlyTheFormatsOwnNamesAreSystemFiles) {
  TempDir temp;
  const fs::path input = temp / "names.chm";
  WriteFileBytes(input, hc::WithFiles({{"/#SYSTEM", "s"},
                                       {"/#TOPICS", "t"},
                                       {"/$FIftiMain", "f"},
                                       {"/$WWKeywordLinks/", ""},
                                       {"/$WWKeywordLinks/BTree", "k"},
                                       {"/_#_README_#_", "r"},
                                       {"/#x.htm", "hash page"},
                                       {"/$x.htm", "dollar page"},
                                       {"/#SYSTEM.htm", "not the system file"},
                                       {"/sub/#SYSTEM", "in a folder"}}));
  testing::ProgramRun result = RunHh({"-decompile", (temp / "out").string(), input.string()});
  EXPECT_EQ(result.exit_code, 0) << result.out;
  EXPECT_EQ(FilesBelow(temp / "out"), (std::map<std::string, std::string>{
                                          {"#SYSTEM.htm", "not the system file"},
                                          {"#x.htm", "hash page"},
                                          {"$x.htm", "dollar page"},
                                          {"sub/#SYSTEM", "in a folder"},
                                      }));
}

TEST(HhHostileTest, ANameOf32000FoldersIsRefusedAndTheRestExtracted) {
  TempDir temp;
  std::string deep = "/";
  for (int i = 0; i < 32000; ++i)
    deep += "a/";
  deep += "x.htm";
  const fs::path input = temp / "deep.chm";
  WriteFileBytes(input, hc::WithFiles({{deep, "deep"}, {"/ok.htm", "ok"}}, 65536));
  const fs::path out = temp / "out";
  testing::ProgramRun result = RunHh({"-decompile", out.string(), input.string()});
  EXPECT_EQ(result.exit_code, 1) << result.err;
  EXPECT_EQ(Lines(result.out),
            (std::vector<std::string>{
                "HHC6010: Warning: \"" + deep.substr(0, 60) +
                    "\"... (64006 bytes) is too long a name for a file; it was not extracted",
                "ok.htm",
                "1 file extracted to \"" + out.string() + "\"; 1 not extracted.",
            }));
  EXPECT_EQ(FilesBelow(out), (std::map<std::string, std::string>{{"ok.htm", "ok"}}));
}

TEST(HhHostileTest, ThreeThousandFoldersFitInAThousandDescriptors) {
  TempDir temp;
  std::vector<std::pair<std::string, std::string>> files;
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "d%04d/p.htm", i);
    files.emplace_back(std::string("/") + name, std::to_string(i));
    expected[name] = std::to_string(i);
  }
  const fs::path input = temp / "folders.chm";
  WriteFileBytes(input, hc::WithFiles(files, 65536));
  testing::ProgramRun result =
      RunHh({"-decompile", (temp / "out").string(), input.string()}, {"--nofile=1024"});
  EXPECT_EQ(result.exit_code, 0) << result.out.substr(0, 2000);
  EXPECT_EQ(FilesBelow(temp / "out"), expected);
}

TEST(HhHostileTest, OutputFarLargerThanTheFileNeedsForce) {
  TempDir temp;
  hc::Layout layout;
  layout.chunk_size = 32768;
  layout.data = std::string(40000, 'z');
  std::vector<hc::Entry> entries;
  for (int i = 0; i < 1200; ++i)
    entries.push_back({"/p" + std::to_string(1000 + i) + ".htm", 0, 40000});
  layout.chunks.push_back(hc::ListingChunk(entries, layout.chunk_size));
  const fs::path input = temp / "bomb.chm";
  WriteFileBytes(input, hc::Build(layout));
  const uint64_t size = fs::file_size(input);

  testing::ProgramRun refused = RunHh({"-decompile", (temp / "out").string(), input.string()});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_EQ(refused.out, "HHC6009: Error: \"" + input.string() + "\" (" + std::to_string(size) +
                             " bytes) would extract 48000000 bytes; nothing was extracted "
                             "(hh -decompile --force extracts it anyway)\n");
  EXPECT_FALSE(fs::exists(temp / "out"));

  testing::ProgramRun forced =
      RunHh({"-decompile", "--force", (temp / "out").string(), input.string()});
  EXPECT_EQ(forced.exit_code, 0) << forced.out.substr(0, 1000);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp / "out"), fs::directory_iterator()), 1200);
  EXPECT_EQ(fs::file_size(temp / "out" / "p2199.htm"), 40000u);
}

TEST(HhHostileTest, AFileCutShortByASignalLeavesNothingUnderAnyName) {
  TempDir temp;
  const fs::path input = temp / "big.chm";
  WriteFileBytes(input,
                 hc::WithFiles({{"/a.htm", "small"}, {"/big.bin", std::string(300000, 'b')}}));
  const fs::path out = temp / "out";
  fs::create_directories(out);
  WriteFileBytes(out / "a.htm", "older a");
  // Writing past 100,000 bytes raises SIGXFSZ, which ends hh like a Ctrl-C mid-file.
  testing::ProgramRun result =
      RunHh({"-decompile", out.string(), input.string()}, {"--fsize=100000"});
  EXPECT_EQ(result.exit_code, -1) << result.out;
  std::map<std::string, std::string> left = FilesBelow(out);
  // a.htm comes first in the section, so it is complete; nothing of big.bin remains.
  EXPECT_EQ(left, (std::map<std::string, std::string>{{"a.htm", "small"}}));
}

}  // namespace
}  // namespace corvina
