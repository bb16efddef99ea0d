#pragma once

#include <functional>
#include <memory>

#include "apps/cli/CommandLineOptions.h"
#include "platform/IFormView.h"

namespace corvina {
class frmHHC;
class frmMain;
}  // namespace corvina

namespace corvina::cli {

// The command line's drawing of the windows. A modal window is "shown" by applying the user's
// options to its panel as if typed there and pressing its command button; the log window
// streams the tool's output. The log window last used stays known, so that the exit status can
// be read from its log.
class ConsoleFormViews : public IFormViews {
 public:
  using HHCViewMaker = std::function<std::unique_ptr<IFormView>(frmHHC&)>;

  ConsoleFormViews(const Options& options, HHCViewMaker make_log_view);
  std::unique_ptr<IFormView> CreateView(Form& form) override;

  // The log window of the last run, or nullptr when no tool was started.
  const frmHHC* last_log() const { return last_log_; }
  // The user's options could not be applied (a default page that the site does not list).
  bool bad_input() const { return bad_input_; }
  // The log window's result of the generation (0 when none ran).
  int compile_result() const { return compile_result_; }

 private:
  const Options& options_;
  HHCViewMaker make_log_view_;
  const frmHHC* last_log_ = nullptr;
  bool bad_input_ = false;
  int compile_result_ = 0;
};

// Sets the main window's panel from the options the user gave, as if typed there. False (with
// the reason on stderr) when a default page is not in the site's list or, when checked, the
// output's folder is missing.
bool ApplyOptions(frmMain& form, const Options& options, bool check_output_folder = true);

}  // namespace corvina::cli
