#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CommandBars.h"

namespace corvina {

class MemoryCommandBars;
class MemoryCommandBarControls;

// One control of the in-memory command bars.
class MemoryCommandBarControl : public ICommandBarControl {
 public:
  MemoryCommandBarControl(MemoryCommandBars* root, MemoryCommandBarControls* parent,
                          MsoControlType type, bool temporary);
  ~MemoryCommandBarControl() override;

  MsoControlType Type() override { return type_; }
  std::string Caption() override { return caption_; }
  Status SetCaption(std::string_view sCaption) override;
  bool Visible() override { return visible_; }
  Status SetVisible(bool bVisible) override;
  Status SetOnAction(std::string_view sAction) override;
  Status SetFaceId(int nFaceId) override;
  Status Delete() override;
  ICommandBarControls* Controls() override;
  ClickConnection ConnectClick(ClickHandler handler) override;

  // What a user does: runs the connected handlers in the order of connection. Returns whether
  // one of them cancelled the host's own action.
  bool Click();

  const std::string& on_action() const { return on_action_; }
  int face_id() const { return face_id_; }
  bool temporary() const { return temporary_; }
  bool deleted() const { return root_ == nullptr; }
  size_t click_handlers() const { return handlers_->size(); }
  MemoryCommandBarControls* children() { return children_.get(); }

  // The control left its bar (deleted, or the bars are gone): every later call fails.
  void Detach();

 private:
  Status Alive() const;
  void Changed();

  MemoryCommandBars* root_;
  MemoryCommandBarControls* parent_;
  MsoControlType type_;
  bool temporary_;
  std::string caption_;
  bool visible_ = true;
  std::string on_action_;
  int face_id_ = 0;
  std::unique_ptr<MemoryCommandBarControls> children_;  // a pop-up's
  using Handlers = std::map<int, ClickHandler>;
  std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
  int next_handler_ = 0;
};

class MemoryCommandBarControls : public ICommandBarControls {
 public:
  explicit MemoryCommandBarControls(MemoryCommandBars* root) : root_(root) {}
  ~MemoryCommandBarControls() override;

  size_t Count() override { return controls_.size(); }
  Result<CommandBarControlRef> Item(std::string_view sCaption) override;
  Result<CommandBarControlRef> Add(MsoControlType eType, bool bTemporary) override;

  const std::vector<std::shared_ptr<MemoryCommandBarControl>>& controls() const {
    return controls_;
  }
  // The control with this caption, or nullptr.
  std::shared_ptr<MemoryCommandBarControl> Find(std::string_view sCaption) const;
  void Remove(const MemoryCommandBarControl* control);
  void DropTemporary();

 private:
  MemoryCommandBars* root_;
  std::vector<std::shared_ptr<MemoryCommandBarControl>> controls_;
};

class MemoryCommandBar : public ICommandBar {
 public:
  MemoryCommandBar(MemoryCommandBars* root, std::string name)
      : name_(std::move(name)), controls_(root) {}
  std::string Name() override { return name_; }
  ICommandBarControls* Controls() override { return &controls_; }
  MemoryCommandBarControls& controls() { return controls_; }

 private:
  std::string name_;
  MemoryCommandBarControls controls_;
};

// The host's command bars as a toolkit-free model: menus and toolbars of captioned controls,
// pop-ups nested in them, buttons that raise Click. A GUI draws it again after each change;
// tests read it directly.
class MemoryCommandBars : public ICommandBars {
 public:
  MemoryCommandBars() = default;
  ~MemoryCommandBars() override;
  MemoryCommandBars(const MemoryCommandBars&) = delete;
  MemoryCommandBars& operator=(const MemoryCommandBars&) = delete;

  Result<ICommandBar*> Item(std::string_view sName) override;

  MemoryCommandBar& AddBar(std::string name);
  MemoryCommandBar* Find(std::string_view name);
  const std::vector<std::unique_ptr<MemoryCommandBar>>& bars() const { return bars_; }
  // The host closes: its temporary controls go.
  void DropTemporary();

  // Called after every change of a bar or a control.
  std::function<void()> on_changed;
  void Changed() {
    if (on_changed) on_changed();
  }

 private:
  std::vector<std::unique_ptr<MemoryCommandBar>> bars_;
};

}  // namespace corvina
