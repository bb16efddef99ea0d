#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvina {

// Item kinds, numbered as the panel templates store them.
enum class ItemKind : int {
  kButton = 0,
  kSpacer = 104,
  kCheckBox = 500,
  kLabel = 900,
  kSeparator = 1100,
  kHeading = 1300,
  kTextField = 1401,
  kBrowseField = 1409,
  kDropDown = 1501,
};

inline constexpr float kTwipsPerPixel = 15.0f;

// A choice of a drop-down list: kept lean, since a list may offer every page of a site.
struct ItemEntry {
  std::string Key;
  std::string Caption;
  ItemKind Kind = ItemKind::kLabel;
};

// One item of a panel or button bar. Sizes are in twips.
struct Item {
  std::string Key;
  ItemKind Kind = ItemKind::kButton;
  std::string Caption;
  std::string Value;  // text of a field, shown text of a drop-down list
  std::string Tag;    // drop-down list: the key of the chosen entry
  std::string ToolTipText;
  std::string Image;
  bool Checked = false;
  bool Enabled = true;
  float Width = 0;
  float Height = 0;
  std::vector<ItemEntry> Entries;  // choices of a drop-down list

  void AddEntry(std::string_view sKey, std::string_view sCaption, ItemKind eKind);
};

// How a template declares an item: sizes in pixels, as the templates store them.
struct ItemTemplate {
  std::string_view key;
  ItemKind kind;
  std::string_view caption = {};
  int height_px = 0;
  int width_px = 0;
  std::string_view tooltip = {};
  std::string_view image = {};
  bool enabled = true;
};

// A vertical list of typed items (a parameters panel) or a row of buttons (a button bar). The
// items come from the window's template; code finds them by key (exact, case-sensitive) or by
// position from 1, and never adds or removes top-level items. Toolkit-free: a console view, a
// GUI view and the tests all drive the same model.
class ItemPanel {
 public:
  explicit ItemPanel(std::vector<ItemTemplate> items);

  size_t Count() const { return items_.size(); }
  // The item with this key; a key that the template lacks is a programming error.
  Item& operator[](std::string_view sKey);
  const Item& operator[](std::string_view sKey) const;
  Item* Find(std::string_view sKey);
  Item& At(size_t nPosition);  // 1-based
  std::vector<Item>& Items() { return items_; }
  const std::vector<Item>& Items() const { return items_; }

  float Width = 0;   // twips
  float Height = 0;  // twips

  // Events, handed the item concerned.
  std::function<void(Item&)> Click;
  std::function<void(Item&)> Browse;
  std::function<void(Item&)> AfterDropDown;

  // What a user does; views and tests call these.
  void PressButton(std::string_view sKey);
  void PressBrowse(std::string_view sKey);
  // Picks the entry at a 0-based index of a drop-down list: its caption becomes the item's
  // value, then AfterDropDown is raised.
  void ChooseEntry(std::string_view sKey, size_t nIndex);

 private:
  std::vector<Item> items_;
};

// Lays a button bar out: the spacer takes the width that the buttons leave, so that they end 90
// twips (6 pixels) short of the bar's right edge; it never gets narrower than 15 twips.
void PushButtonsRight(ItemPanel& bar, std::string_view sSpacerKey);

}  // namespace corvina
