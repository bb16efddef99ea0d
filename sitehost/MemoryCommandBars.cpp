#include "sitehost/MemoryCommandBars.h"

#include <algorithm>

namespace corvina {
namespace {

Error NoSuchItem() {
  return Error{kErrInvalidArgument, "Invalid procedure call or argument"};
}

}  // namespace

MemoryCommandBarControl::MemoryCommandBarControl(MemoryCommandBars* root,
                                                 MemoryCommandBarControls* parent,
                                                 MsoControlType type, bool temporary)
    : root_(root), parent_(parent), type_(type), temporary_(temporary) {
  if (type == MsoControlType::msoControlPopup) {
    children_ = std::make_unique<MemoryCommandBarControls>(root);
  }
}

MemoryCommandBarControl::~MemoryCommandBarControl() = default;

Status MemoryCommandBarControl::Alive() const {
  if (root_ == nullptr) {
    return Error{kErrInvalidArgument, "The control has been deleted from its command bar"};
  }
  return Status::Ok();
}

void MemoryCommandBarControl::Changed() {
  if (root_ != nullptr) root_->Changed();
}

Status MemoryCommandBarControl::SetCaption(std::string_view sCaption) {
  if (Status alive = Alive(); !alive) return alive;
  caption_ = sCaption;
  Changed();
  return Status::Ok();
}

Status MemoryCommandBarControl::SetVisible(bool bVisible) {
  if (Status alive = Alive(); !alive) return alive;
  visible_ = bVisible;
  Changed();
  return Status::Ok();
}

Status MemoryCommandBarControl::SetOnAction(std::string_view sAction) {
  if (Status alive = Alive(); !alive) return alive;
  on_action_ = sAction;
  return Status::Ok();
}

Status MemoryCommandBarControl::SetFaceId(int nFaceId) {
  if (Status alive = Alive(); !alive) return alive;
  face_id_ = nFaceId;
  Changed();
  return Status::Ok();
}

Status MemoryCommandBarControl::Delete() {
  if (Status alive = Alive(); !alive) return alive;
  MemoryCommandBars* root = root_;
  MemoryCommandBarControls* parent = parent_;
  Detach();
  // The parent holds the last owning reference but the caller's; removing may end this object
  // only after the caller's reference goes, so nothing below touches a member.
  parent->Remove(this);
  root->Changed();
  return Status::Ok();
}

void MemoryCommandBarControl::Detach() {
  root_ = nullptr;
  parent_ = nullptr;
  if (children_) {
    for (const auto& child : children_->controls())
      child->Detach();
  }
}

ICommandBarControls* MemoryCommandBarControl::Controls() {
  if (root_ == nullptr) return nullptr;
  return children_.get();
}

ClickConnection MemoryCommandBarControl::ConnectClick(ClickHandler handler) {
  const int id = next_handler_++;
  (*handlers_)[id] = std::move(handler);
  std::weak_ptr<Handlers> handlers = handlers_;
  return ClickConnection([handlers, id] {
    if (auto alive = handlers.lock()) alive->erase(id);
  });
}

bool MemoryCommandBarControl::Click() {
  bool cancel = false;
  if (root_ == nullptr || type_ != MsoControlType::msoControlButton) return cancel;
  // A handler may disconnect itself or others; those left run in order.
  std::vector<int> ids;
  for (const auto& [id, handler] : *handlers_)
    ids.push_back(id);
  // The handlers may delete the control; its table stays alive through this reference.
  std::shared_ptr<Handlers> handlers = handlers_;
  for (int id : ids) {
    auto it = handlers->find(id);
    if (it == handlers->end()) continue;
    ClickHandler handler = it->second;
    handler(*this, cancel);
  }
  return cancel;
}

MemoryCommandBarControls::~MemoryCommandBarControls() {
  for (const auto& control : controls_)
    control->Detach();
}

std::shared_ptr<MemoryCommandBarControl> MemoryCommandBarControls::Find(
    std::string_view sCaption) const {
  for (const auto& control : controls_) {
    if (control->Caption() == sCaption) return control;
  }
  return nullptr;
}

Result<CommandBarControlRef> MemoryCommandBarControls::Item(std::string_view sCaption) {
  if (auto control = Find(sCaption)) return CommandBarControlRef(control);
  return NoSuchItem();
}

Result<CommandBarControlRef> MemoryCommandBarControls::Add(MsoControlType eType, bool bTemporary) {
  if (eType != MsoControlType::msoControlButton && eType != MsoControlType::msoControlPopup) {
    return NoSuchItem();
  }
  auto control = std::make_shared<MemoryCommandBarControl>(root_, this, eType, bTemporary);
  controls_.push_back(control);
  root_->Changed();
  return CommandBarControlRef(control);
}

void MemoryCommandBarControls::Remove(const MemoryCommandBarControl* control) {
  std::erase_if(controls_, [control](const auto& held) { return held.get() == control; });
}

void MemoryCommandBarControls::DropTemporary() {
  for (const auto& control : controls_) {
    if (control->temporary()) {
      control->Detach();
    } else if (control->children()) {
      control->children()->DropTemporary();
    }
  }
  std::erase_if(controls_, [](const auto& control) { return control->deleted(); });
}

MemoryCommandBars::~MemoryCommandBars() {
  on_changed = nullptr;
}

Result<ICommandBar*> MemoryCommandBars::Item(std::string_view sName) {
  if (MemoryCommandBar* bar = Find(sName)) return static_cast<ICommandBar*>(bar);
  return NoSuchItem();
}

MemoryCommandBar& MemoryCommandBars::AddBar(std::string name) {
  bars_.push_back(std::make_unique<MemoryCommandBar>(this, std::move(name)));
  Changed();
  return *bars_.back();
}

MemoryCommandBar* MemoryCommandBars::Find(std::string_view name) {
  for (const auto& bar : bars_) {
    if (bar->Name() == name) return bar.get();
  }
  return nullptr;
}

void MemoryCommandBars::DropTemporary() {
  for (const auto& bar : bars_)
    bar->controls().DropTemporary();
  Changed();
}

}  // namespace corvina
