#include "apps/console/HHCConsoleView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "compiler/frmHHC.h"
#include "platform/Platform.h"
#include "support/CRegistry.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeMessageLoop.h"
#include "tests/fakes/FakeProcessRunner.h"
#include "tests/fakes/FakeRegistryStore.h"

namespace corvina {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;)
    text += static_cast<char>(c);
  return text;
}

// The log window drawn by the console view into two files standing for stdout and stderr.
class ConsoleViewTest : public ::testing::TestWithParam<bool> {
 protected:
  class Views : public IFormViews {
   public:
    Views(std::FILE* out, std::FILE* err, bool terminal)
        : out_(out), err_(err), terminal_(terminal) {}
    std::unique_ptr<IFormView> CreateView(Form& form) override {
      return std::make_unique<HHCConsoleView>(static_cast<frmHHC&>(form), out_, err_, terminal_);
    }

   private:
    std::FILE* out_;
    std::FILE* err_;
    bool terminal_;
  };

  ConsoleViewTest()
      : out_(std::tmpfile()), err_(std::tmpfile()), views_(out_.get(), err_.get(), GetParam()) {
    platform_.message_boxes = &boxes_;
    platform_.message_loop = &loop_;
    platform_.processes = &runner_;
    platform_.registry = &registry_;
    platform_.form_views = &views_;
  }

  File out_;
  File err_;
  Views views_;
  FakeMessageBoxes boxes_;
  FakeMessageLoop loop_;
  FakeProcessRunner runner_;
  FakeRegistryStore registry_;
  Platform platform_;
};

TEST_P(ConsoleViewTest, StdoutIsTheToolOutputAndDone) {
  ScopedPlatform scoped(platform_);
  CRegistry key;
  key.Init(kHkeyCurrentUser);
  ASSERT_TRUE(key.SetValue("Software\\Microsoft\\HTML Help Workshop", "InstallDir", "/w").ok());
  // A CRLF pair split between two reads still becomes one line feed.
  runner_.output = {"Processing a.htm\r", "\nProcessing b.htm\r\nHHC4001: Warning: x\r\n"};
  frmHHC form;
  form.FilesCount = 2;
  EXPECT_EQ(form.Execute("/site", "p.tmp"), -1);
  EXPECT_EQ(Contents(out_.get()),
            "Processing a.htm\nProcessing b.htm\nHHC4001: Warning: x\n\nDone!\n");
  const std::string err = Contents(err_.get());
  if (GetParam()) {
    // On a terminal the figure is redrawn in place and left at its final value.
    EXPECT_NE(err.find("\r\033[K5 %"), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with("100 %\n")) << err;
  } else {
    EXPECT_EQ(err, "100 %\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Terminal, ConsoleViewTest, ::testing::Bool());

}  // namespace
}  // namespace corvina
