#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Status.h"

namespace corvina {

// The host's command bars: its menus and toolbars, each a list of controls. A pop-up control
// holds controls of its own. Controls are shared between the host and whoever holds a
// reference, as automation objects are: a deleted control leaves its bar at once, but a held
// reference stays valid (its operations then fail).

// Control types, with the numbers Add takes.
enum class MsoControlType : int {
  msoControlButton = 1,
  msoControlPopup = 10,
};

class ICommandBarControl;
class ICommandBarControls;
using CommandBarControlRef = std::shared_ptr<ICommandBarControl>;

// A button's Click event: the control clicked and a flag that cancels the host's own action.
using ClickHandler = std::function<void(ICommandBarControl& Ctrl, bool& CancelDefault)>;

// A connection of a Click handler; the handler is disconnected when this is released.
class ClickConnection {
 public:
  ClickConnection() = default;
  explicit ClickConnection(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
  ClickConnection(ClickConnection&& other) noexcept : disconnect_(std::move(other.disconnect_)) {
    other.disconnect_ = nullptr;
  }
  ClickConnection& operator=(ClickConnection&& other) noexcept {
    if (this != &other) {
      Release();
      disconnect_ = std::move(other.disconnect_);
      other.disconnect_ = nullptr;
    }
    return *this;
  }
  ~ClickConnection() { Release(); }
  void Release() {
    if (disconnect_) std::exchange(disconnect_, nullptr)();
  }

 private:
  std::function<void()> disconnect_;
};

class ICommandBarControl {
 public:
  virtual ~ICommandBarControl() = default;
  virtual MsoControlType Type() = 0;
  virtual std::string Caption() = 0;
  virtual Status SetCaption(std::string_view sCaption) = 0;
  virtual bool Visible() = 0;
  virtual Status SetVisible(bool bVisible) = 0;
  // The macro the host runs on a click: "!<ProgId>" names an add-in.
  virtual Status SetOnAction(std::string_view sAction) = 0;
  // The host's image number shown beside the caption.
  virtual Status SetFaceId(int nFaceId) = 0;
  // Removes the control (and a pop-up's children) from its bar.
  virtual Status Delete() = 0;
  // A pop-up's own controls; nullptr for a button.
  virtual ICommandBarControls* Controls() = 0;
  // Connects a handler to the Click event of a button.
  virtual ClickConnection ConnectClick(ClickHandler handler) = 0;
};

class ICommandBarControls {
 public:
  virtual ~ICommandBarControls() = default;
  virtual size_t Count() = 0;
  // The first control with this caption; fails when there is none.
  virtual Result<CommandBarControlRef> Item(std::string_view sCaption) = 0;
  // Adds a control at the end. A temporary control is dropped when the host closes.
  virtual Result<CommandBarControlRef> Add(MsoControlType eType, bool bTemporary) = 0;
};

class ICommandBar {
 public:
  virtual ~ICommandBar() = default;
  virtual std::string Name() = 0;
  virtual ICommandBarControls* Controls() = 0;
};

// The application's collection of command bars.
class ICommandBars {
 public:
  virtual ~ICommandBars() = default;
  // The bar with this name ("Tools", "Standard"); fails when there is none.
  virtual Result<ICommandBar*> Item(std::string_view sName) = 0;
};

}  // namespace corvina
