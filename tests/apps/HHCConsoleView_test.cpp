#include "apps/cli/HHCConsoleView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "apps/cli/ConsoleScreen.h"
#include "compiler/frmHHC.h"
#include "platform/ConsoleMessageBoxes.h"
#include "platform/Platform.h"
#include "support/CRegistry.h"
#include "testing/FakeProcessRunner.h"
#include "testing/FakeRegistryStore.h"
#include "tests/fakes/FakeMessageLoop.h"
#include "tests/fakes/TestSupport.h"

namespace corvina {
namespace {

using testing::StreamContents;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool IsProgressFigure(std::string_view text) {
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  if (text.empty()) return true;
  if (!text.ends_with(" %")) return false;
  text.remove_suffix(2);
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Plays what was written to a terminal (both streams on one screen, LF moving to the next
// line as the terminal's output processing does) and notes every line whose text was written
// over after a carriage return, unless that text was a progress figure.
struct Screen {
  std::vector<std::string> lines{""};
  size_t column = 0;
  std::vector<std::string> damage;
  bool returned = false;  // the last byte was a carriage return

  void Play(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      std::string& line = lines.back();
      if (returned && bytes[i] != '\r' && bytes[i] != '\n' && !IsProgressFigure(line)) {
        damage.push_back(line);
      }
      returned = false;
      if (bytes.substr(i).starts_with("\033[K")) {
        line.resize(column);
        i += 2;
      } else if (bytes[i] == '\r') {
        column = 0;
        returned = true;
      } else if (bytes[i] == '\n') {
        lines.emplace_back();
        column = 0;
      } else {
        if (column < line.size()) {
          line[column] = bytes[i];
        } else {
          line += bytes[i];
        }
        ++column;
      }
    }
  }

  // The screen's lines, each without the blanks at its end.
  std::string Text() const {
    std::string text;
    for (std::string line : lines) {
      while (!line.empty() && line.back() == ' ')
        line.pop_back();
      text += line + "\n";
    }
    return text;
  }
};

class ConsoleViewTest : public ::testing::Test {
 protected:
  class Views : public IFormViews {
   public:
    explicit Views(ConsoleScreen*& screen) : screen_(screen) {}
    std::unique_ptr<IFormView> CreateView(Form& form) override {
      return std::make_unique<HHCConsoleView>(static_cast<frmHHC&>(form), *screen_);
    }

   private:
    ConsoleScreen*& screen_;
  };

  ConsoleViewTest() {
    platform_.message_loop = &loop_;
    platform_.processes = &runner_;
    platform_.registry = &registry_;
    platform_.form_views = &views_;
  }

  // Runs a compile whose tool prints the pieces, drawn on `screen`, its messages on `boxes`.
  void Run(ConsoleScreen& screen, std::FILE* boxes_stream, std::vector<std::string> pieces) {
    screen_ = &screen;
    ConsoleMessageBoxes boxes(ConsoleMessageBoxes::Policy::kNo, boxes_stream);
    boxes.before_show = [&screen] { screen.BeforeMessage(); };
    platform_.message_boxes = &boxes;
    ScopedPlatform scoped(platform_);
    CRegistry key;
    key.Init(kHkeyCurrentUser);
    ASSERT_TRUE(key.SetValue("Software\\Microsoft\\HTML Help Workshop", "InstallDir", "/w").ok());
    runner_.output.assign(pieces.begin(), pieces.end());
    frmHHC form;
    form.FilesCount = 3;
    EXPECT_EQ(form.Execute("/site", "p.tmp"), -1);
  }

  // hhc's lines end with LF; the runner hands them on in pieces of up to 16 characters.
  const std::vector<std::string> pieces_ = {
      "Processing docs/Caf\xC3\xA9 menu.html\nProcessing index.htm\n", "Processing a", "bout.htm\r",
      "\nHHC5003: Error: no such file\n"};
  const std::string log_ =
      "Processing docs/Caf\xC3\xA9 menu.html\nProcessing index.htm\nProcessing about.htm\n"
      "HHC5003: Error: no such file\n\nDone!\n";
  const std::string message_ =
      "Corvina: There are errors and warnings while compiling.\nError: no such file\n";

  ConsoleScreen* screen_ = nullptr;
  Views views_{screen_};
  FakeMessageLoop loop_;
  FakeProcessRunner runner_;
  FakeRegistryStore registry_;
  Platform platform_;
};

TEST_F(ConsoleViewTest, OnATerminalTheFigureNeverOverwritesTheLog) {
  for (const ConsoleScreen::Progress progress :
       {ConsoleScreen::Progress::kAnsi, ConsoleScreen::Progress::kPlain}) {
    SCOPED_TRACE(progress == ConsoleScreen::Progress::kAnsi ? "ansi" : "dumb terminal");
    File terminal(std::tmpfile());
    ConsoleScreen screen(terminal.get(), terminal.get(), progress);
    Run(screen, terminal.get(), pieces_);
    const std::string bytes = StreamContents(terminal.get());
    Screen played;
    played.Play(bytes);
    EXPECT_EQ(played.damage, std::vector<std::string>()) << bytes;
    // The log, then "Done!", then the summary on lines of their own; no figure is left.
    EXPECT_EQ(played.Text(), log_ + message_ + "\n") << bytes;
    EXPECT_NE(bytes.find("5 %"), std::string::npos) << bytes;
    if (progress == ConsoleScreen::Progress::kPlain) {
      EXPECT_EQ(bytes.find('\033'), std::string::npos) << bytes;
    }
  }
}

TEST_F(ConsoleViewTest, OffATerminalTheLogIsPlainAndThereIsNoFigure) {
  File out(std::tmpfile());
  File err(std::tmpfile());
  ConsoleScreen screen(out.get(), err.get(), ConsoleScreen::Progress::kOff);
  Run(screen, err.get(), pieces_);
  EXPECT_EQ(StreamContents(out.get()), log_);
  EXPECT_EQ(StreamContents(err.get()), message_);
}

// Output sent to one file (2>&1) through both streams: the log, held to be written together,
// still comes before the message that follows it.
TEST_F(ConsoleViewTest, LogAndMessagesOnOneFileStayInOrder) {
  testing::TempDir dir;
  const std::string path = (dir / "output").string();
  File out(std::fopen(path.c_str(), "a"));
  File err(std::fopen(path.c_str(), "a"));
  ASSERT_TRUE(out && err);
  ConsoleScreen screen(out.get(), err.get(), ConsoleScreen::Progress::kOff);
  Run(screen, err.get(), pieces_);
  out.reset();
  err.reset();
  EXPECT_EQ(testing::ReadFileBytes(dir / "output"), log_ + message_);
}

TEST(ConsoleScreenTest, ProgressNeedsATerminal) {
  File file(std::tmpfile());
  EXPECT_EQ(ConsoleScreen::ProgressFor(file.get()), ConsoleScreen::Progress::kOff);
}

}  // namespace
}  // namespace corvina
