#include "shared/ItemPanel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Product.h"

namespace corvina {

void Item::AddEntry(std::string_view sKey, std::string_view sCaption, ItemKind eKind) {
  Entries.push_back(ItemEntry{std::string(sKey), std::string(sCaption), eKind});
}

ItemPanel::ItemPanel(std::vector<ItemTemplate> items) {
  items_.reserve(items.size());
  for (const ItemTemplate& t : items) {
    Item item;
    item.Key = t.key;
    item.Kind = t.kind;
    item.Caption = t.caption;
    item.Height = static_cast<float>(t.height_px) * kTwipsPerPixel;
    item.Width = static_cast<float>(t.width_px) * kTwipsPerPixel;
    item.ToolTipText = t.tooltip;
    item.Image = t.image;
    item.Enabled = t.enabled;
    items_.push_back(std::move(item));
  }
}

Item* ItemPanel::Find(std::string_view sKey) {
  for (Item& item : items_) {
    if (!item.Key.empty() && item.Key == sKey) return &item;
  }
  return nullptr;
}

Item& ItemPanel::operator[](std::string_view sKey) {
  if (Item* item = Find(sKey)) return *item;
  PrintMessage("internal error: no item \"" + std::string(sKey) + "\" in the panel");
  std::abort();
}

const Item& ItemPanel::operator[](std::string_view sKey) const {
  return const_cast<ItemPanel&>(*this)[sKey];
}

Item& ItemPanel::At(size_t nPosition) {
  if (nPosition == 0 || nPosition > items_.size()) {
    PrintMessage("internal error: no item at position " + std::to_string(nPosition));
    std::abort();
  }
  return items_[nPosition - 1];
}

void ItemPanel::PressButton(std::string_view sKey) {
  Item& item = (*this)[sKey];
  if (item.Enabled && Click) Click(item);
}

void ItemPanel::PressBrowse(std::string_view sKey) {
  Item& item = (*this)[sKey];
  if (item.Enabled && Browse) Browse(item);
}

void ItemPanel::ChooseEntry(std::string_view sKey, size_t nIndex) {
  Item& item = (*this)[sKey];
  if (nIndex >= item.Entries.size()) return;
  item.Value = item.Entries[nIndex].Caption;
  if (AfterDropDown) AfterDropDown(item);
}

void PushButtonsRight(ItemPanel& bar, std::string_view sSpacerKey) {
  float total = 0;
  for (const Item& item : bar.Items())
    total = std::nearbyint(total + item.Width);
  Item& spacer = bar[sSpacerKey];
  const float width = std::nearbyint(bar.Width - total + spacer.Width - 90);
  spacer.Width = width < 15 ? 15 : width;
}

}  // namespace corvina
