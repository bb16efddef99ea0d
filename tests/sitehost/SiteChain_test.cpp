#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "sitehost/FolderHostApplication.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestDataPath;
using testing::WriteFileBytes;

struct PipeClose {
  void operator()(std::FILE* pipe) const { ::pclose(pipe); }
};

std::string RunCommand(const std::string& command) {
  std::unique_ptr<std::FILE, PipeClose> pipe(::popen((command + " 2>/dev/null").c_str(), "r"));
  std::string out;
  if (!pipe) return out;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
    out.append(buffer, got);
  return out;
}

bool HasTool(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// The basic site goes through chmcmd with a project made of the host's project references,
// and every page comes back out of the compiled file under that reference, byte for byte.
TEST(SiteChainTest, ProjectReferencesNameThePagesInTheCompiledFile) {
  if (!HasTool("chmcmd") || !HasTool("chmls")) GTEST_SKIP() << "chmcmd and chmls are needed";
  TempDir dir;
  const fs::path site = dir / "My Site";
  fs::copy(TestDataPath("sites/basic"), site, fs::copy_options::recursive);
  Result<std::unique_ptr<FolderHostApplication>> host = OpenSite(site);
  ASSERT_TRUE(host.ok());
  IWeb* web = (*host)->ActiveWeb();

  std::string project = "[OPTIONS]\r\nCompiled file=" + (dir / "out.chm").string() +
                        "\r\nTitle=Chain\r\n\r\n[FILES]\r\n";
  std::vector<std::string> pages;
  for (IWebFile* file : web->AllFiles()) {
    std::string extension = file->Extension();
    for (char& c : extension)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != "htm" && extension != "html") continue;
    const Result<std::string> relative = (*host)->MakeRelativeUrl(web->Location(), file->Url());
    ASSERT_TRUE(relative.ok());
    const Result<std::string> reference = (*host)->GetWebPageRelativeUrl(web, *relative);
    ASSERT_TRUE(reference.ok());
    pages.push_back(*reference);
    project += *reference + "\r\n";
  }
  ASSERT_EQ(pages.size(), 6u);
  WriteFileBytes(site / "chain.hhp", project);
  const std::string compile = "cd '" + site.string() + "' && chmcmd --no-html-scan chain.hhp";
  ASSERT_EQ(std::system((compile + " >/dev/null 2>&1").c_str()), 0);

  const std::string listing = RunCommand("chmls -n list '" + (dir / "out.chm").string() + "'");
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    EXPECT_NE(listing.find("\n/" + page + "\n"), std::string::npos) << listing;
    const fs::path extracted = dir / "extracted.htm";
    RunCommand("chmls extract '" + (dir / "out.chm").string() + "' '/" + page + "' '" +
               extracted.string() + "'");
    EXPECT_EQ(ReadFileBytes(extracted), ReadFileBytes(site / page));
    fs::remove(extracted);
  }
}

}  // namespace
}  // namespace corvina
