#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "shared/HostObjects.h"

namespace corvina {

// An in-memory host: a site at file:///site with files, navigation and page windows that a
// test sets up directly. Project references are the address with the site's prefix removed.
class FakeNode : public INavigationNode {
 public:
  std::string label;
  IWebFile* file = nullptr;
  std::vector<INavigationNode*> children;

  std::string Label() override { return label; }
  std::string Url() override { return file ? file->Url() : std::string(); }
  IWebFile* File() override { return file; }
  std::vector<INavigationNode*> Children() override { return children; }
};

class FakeFile : public IWebFile {
 public:
  std::string url;
  std::string title;
  std::optional<std::string> keywords;
  INavigationNode* node = nullptr;

  std::string Extension() override {
    const size_t slash = url.rfind('/');
    const size_t dot = url.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash)
               ? std::string()
               : url.substr(dot + 1);
  }
  std::string Url() override { return url; }
  std::string Title() override { return title; }
  Result<std::string> Property(std::string_view name) override {
    if (name == "keywords" && keywords) return *keywords;
    return Error{5, "Invalid procedure call or argument"};
  }
  INavigationNode* NavigationNode() override { return node; }
};

class FakePageWindow : public IPageWindow {
 public:
  bool modified = false;
  std::vector<bool> saves;  // the argument of every save
  bool IsModified() override { return modified; }
  Status Save(bool force_overwrite) override {
    saves.push_back(force_overwrite);
    modified = false;
    return Status::Ok();
  }
};

class FakeWebWindow : public IWebWindow {
 public:
  std::vector<IPageWindow*> pages;
  std::vector<IPageWindow*> PageWindows() override { return pages; }
};

class FakeFolder : public IWebFolder {
 public:
  std::string url;
  std::string Url() override { return url; }
};

class FakeWeb : public IWeb {
 public:
  explicit FakeWeb(std::string folder = "/site") : url("file://" + folder) {
    root_folder.url = folder;
  }

  std::string url;
  std::vector<IWebFile*> files;
  FakeNode root;
  FakeNode* home = nullptr;
  FakeFolder root_folder;
  FakeWebWindow window;
  int refreshes = 0;

  // Adds a file at a site-relative path.
  FakeFile& AddFile(const std::string& relative, const std::string& title = "") {
    FakeFile& file = owned_files_.emplace_back();
    file.url = url + "/" + relative;
    file.title = title.empty() ? relative : title;
    files.push_back(&file);
    return file;
  }
  // Adds a navigation node under the parent (the root when null).
  FakeNode& AddNode(const std::string& label, FakeFile* file, FakeNode* parent = nullptr) {
    FakeNode& node = owned_nodes_.emplace_back();
    node.label = label;
    node.file = file;
    if (file && !file->node) file->node = &node;
    (parent ? parent : &root)->children.push_back(&node);
    nodes_.push_back(&node);
    return node;
  }

  Status Refresh() override {
    ++refreshes;
    return Status::Ok();
  }
  std::string Location() override { return "file://" + root_folder.url; }
  std::string Url() override { return url; }
  const std::vector<IWebFile*>& AllFiles() override { return files; }
  INavigationNode* RootNavigationNode() override { return &root; }
  INavigationNode* HomeNavigationNode() override { return home; }
  std::vector<INavigationNode*> NavigationNodes() override { return nodes_; }
  IWebFolder* RootFolder() override { return &root_folder; }
  IWebWindow* ActiveWebWindow() override { return &window; }

 private:
  std::deque<FakeFile> owned_files_;  // a deque keeps their addresses
  std::deque<FakeNode> owned_nodes_;
  std::vector<INavigationNode*> nodes_;
};

class FakeHostApplication : public IHostApplication {
 public:
  FakeWeb* web = nullptr;
  ICommandBars* command_bars = nullptr;

  IWeb* ActiveWeb() override { return web; }
  Result<std::string> GetWebPageRelativeUrl(IWeb* site, std::string_view page) override {
    if (site == nullptr) return Error{91, "Object variable or With block variable not set"};
    const std::string prefix = site->Url() + "/";
    if (page.substr(0, prefix.size()) == prefix) return std::string(page.substr(prefix.size()));
    return std::string(page);
  }
  Result<std::string> MakeRelativeUrl(std::string_view, std::string_view page) override {
    return std::string(page);
  }
  ICommandBars* CommandBars() override { return command_bars; }
};

}  // namespace corvina
