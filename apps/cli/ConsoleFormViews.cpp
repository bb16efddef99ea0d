#include "apps/cli/ConsoleFormViews.h"

#include <cstdio>
#include <filesystem>

#include "compiler/frmHHC.h"
#include "decompile/frmDecompile.h"
#include "mainwindow/frmMain.h"
#include "platform/Product.h"
#include "shared/HostObjects.h"

namespace corvina::cli {
namespace {

// A path as the user typed it, made absolute against the current folder: the tools run in
// other folders.
std::string Absolute(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

// The compiler cannot create the folder of the output; say so before anything is written.
bool OutputFolderExists(const std::string& output) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(output).parent_path();
  if (folder.empty() || std::filesystem::is_directory(folder, ec)) return true;
  PrintMessage("the output folder " + folder.string() + " does not exist");
  return false;
}

// Picks the list entry whose address, site-relative path or label is the page given.
bool ChoosePage(frmMain& form, const std::string& page) {
  Item& list = form.suiParams["DEFAULTPAGE"];
  const std::string site = form.mWeb != nullptr ? form.mWeb->Url() + "/" : std::string();
  for (size_t i = 0; i < list.Entries.size(); ++i) {
    const ItemEntry& entry = list.Entries[i];
    if (entry.Key == page || entry.Key == site + page) {
      form.suiParams.ChooseEntry("DEFAULTPAGE", i);
      // The list knows entries by their caption; two pages of one label keep the one asked for.
      list.Tag = entry.Key;
      return true;
    }
  }
  for (size_t i = 0; i < list.Entries.size(); ++i) {
    if (list.Entries[i].Caption == page) {
      form.suiParams.ChooseEntry("DEFAULTPAGE", i);
      return true;
    }
  }
  PrintMessage("the site's navigation lists no page \"" + page + "\"");
  return false;
}

class MainConsoleView : public IFormView {
 public:
  MainConsoleView(frmMain& form, const Options& options, bool& bad_input, int& compile_result)
      : form_(form), options_(options), bad_input_(bad_input), compile_result_(compile_result) {}

  void Show(bool modal) override {
    if (!modal || shown_) return;
    shown_ = true;
    form_.Activated();
    form_.Resized();
    if (!ApplyOptions(form_, options_)) {
      bad_input_ = true;
      // A refused run leaves no trace: the window closes as one built for no site, which
      // saves nothing.
      form_.mWeb = nullptr;
      return;
    }
    form_.suiButtons.PressButton("GENERATE");
    compile_result_ = form_.mCompileResult;
  }
  void Hide() override {}
  void Refresh() override {}
  void Unloaded() override {}

 private:
  frmMain& form_;
  const Options& options_;
  bool& bad_input_;
  int& compile_result_;
  bool shown_ = false;
};

class DecompileConsoleView : public IFormView {
 public:
  DecompileConsoleView(frmDecompile& form, const Options& options)
      : form_(form), options_(options) {}

  void Show(bool modal) override {
    if (!modal || shown_) return;
    shown_ = true;
    form_.Resized();
    ItemPanel& panel = form_.suiParams;
    panel["FILE"].Value = Absolute(options_.chm_file);
    panel["FILE"].ToolTipText = panel["FILE"].Value;
    panel["DIR"].Value = Absolute(options_.folder);
    panel["DIR"].ToolTipText = panel["DIR"].Value;
    panel["TOFPSITE"].Checked = options_.to_site;
    form_.suiButtons.PressButton("DECOMPILE");
  }
  void Hide() override {}
  void Refresh() override {}
  void Unloaded() override {}

 private:
  frmDecompile& form_;
  const Options& options_;
  bool shown_ = false;
};

}  // namespace

bool ApplyOptions(frmMain& form, const Options& options, bool check_output_folder) {
  ItemPanel& panel = form.suiParams;
  if (options.title) panel["TITLE"].Value = *options.title;
  if (options.output) {
    panel["OUTPUT"].Value = Absolute(*options.output);
    panel["OUTPUT"].ToolTipText = panel["OUTPUT"].Value;
  }
  if (options.index) panel["USEKEYWORDS"].Checked = *options.index;
  if (options.favorites) panel["FAVORITES"].Checked = *options.favorites;
  if (options.open) panel["VIEWRESULT"].Checked = *options.open;
  if (options.keep_log) panel["CLOSELOG"].Checked = *options.keep_log;
  if (options.default_page && !ChoosePage(form, *options.default_page)) return false;
  return !check_output_folder || OutputFolderExists(panel["OUTPUT"].Value);
}

ConsoleFormViews::ConsoleFormViews(const Options& options, HHCViewMaker make_log_view)
    : options_(options), make_log_view_(std::move(make_log_view)) {}

std::unique_ptr<IFormView> ConsoleFormViews::CreateView(Form& form) {
  if (auto* main = dynamic_cast<frmMain*>(&form)) {
    return std::make_unique<MainConsoleView>(*main, options_, bad_input_, compile_result_);
  }
  if (auto* decompile = dynamic_cast<frmDecompile*>(&form)) {
    return std::make_unique<DecompileConsoleView>(*decompile, options_);
  }
  if (auto* log = dynamic_cast<frmHHC*>(&form)) {
    last_log_ = log;
    return make_log_view_(*log);
  }
  return nullptr;
}

}  // namespace corvina::cli
