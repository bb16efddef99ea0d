#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace corvina {

// The host's object model: every operation that the add-in relies on, and nothing more. The
// host owns all objects; a pointer it hands out stays valid until the site's next Refresh().

class IWebFile;

// A navigation node: its label, its page, its children in navigation order.
class INavigationNode {
 public:
  virtual ~INavigationNode() = default;
  virtual std::string Label() = 0;
  virtual std::string Url() = 0;  // address of the node's page; empty without a page
  virtual IWebFile* File() = 0;   // the node's page, or nullptr
  virtual std::vector<INavigationNode*> Children() = 0;
};

// A file of the site.
class IWebFile {
 public:
  virtual ~IWebFile() = default;
  virtual std::string Extension() = 0;  // without the dot, as the name has it
  virtual std::string Url() = 0;        // absolute address
  virtual std::string Title() = 0;      // page title (the file name when it has none)
  // A page property; "keywords" fails when the page carries none.
  virtual Result<std::string> Property(std::string_view name) = 0;
  virtual INavigationNode* NavigationNode() = 0;  // nullptr when not in the navigation
};

class IWebFolder {
 public:
  virtual ~IWebFolder() = default;
  virtual std::string Url() = 0;  // the folder's location: a local directory path
};

// An open page window of the host's editor.
class IPageWindow {
 public:
  virtual ~IPageWindow() = default;
  virtual bool IsModified() = 0;
  virtual Status Save(bool force_overwrite) = 0;
};

class IWebWindow {
 public:
  virtual ~IWebWindow() = default;
  virtual std::vector<IPageWindow*> PageWindows() = 0;
};

// The open site.
class IWeb {
 public:
  virtual ~IWeb() = default;
  virtual Status Refresh() = 0;
  virtual std::string Location() = 0;  // "file:" address of the site's folder
  virtual std::string Url() = 0;       // the site's address; names its settings section
  virtual const std::vector<IWebFile*>& AllFiles() = 0;  // in host order
  virtual INavigationNode* RootNavigationNode() = 0;     // never nullptr
  virtual INavigationNode* HomeNavigationNode() = 0;     // nullptr when there is no home page
  virtual std::vector<INavigationNode*> NavigationNodes() = 0;  // every node, in host order
  virtual IWebFolder* RootFolder() = 0;
  virtual IWebWindow* ActiveWebWindow() = 0;
};

class ICommandBars;

// The host's application object.
class IHostApplication {
 public:
  virtual ~IHostApplication() = default;
  virtual IWeb* ActiveWeb() = 0;  // nullptr when no site is open
  // The page's reference inside the help project: its site-relative path with "/".
  virtual Result<std::string> GetWebPageRelativeUrl(IWeb* web, std::string_view url) = 0;
  // The page's address relative to the site's location, as the project reference takes it.
  virtual Result<std::string> MakeRelativeUrl(std::string_view location, std::string_view url) = 0;
  virtual ICommandBars* CommandBars() = 0;  // nullptr on a host without command bars
};

}  // namespace corvina
