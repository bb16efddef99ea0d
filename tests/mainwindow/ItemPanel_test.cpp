#include "mainwindow/ItemPanel.h"

#include <gtest/gtest.h>

namespace corvina {
namespace {

ItemPanel MakePanel() {
  return ItemPanel({{"SEP0", ItemKind::kSeparator, "", 2, 0},
                    {"DEFAULTPAGE", ItemKind::kDropDown, "Default page:", 21, 100},
                    {"USE", ItemKind::kCheckBox, "Use", 17, 157, "", "", false}});
}

TEST(ItemPanelTest, TemplateSizesBecomeTwipsAndKeysAreExact) {
  ItemPanel panel = MakePanel();
  EXPECT_EQ(panel.Count(), 3u);
  EXPECT_EQ(panel["DEFAULTPAGE"].Height, 315);
  EXPECT_EQ(panel["DEFAULTPAGE"].Width, 1500);
  EXPECT_EQ(panel.At(1).Key, "SEP0");
  EXPECT_EQ(panel.Find("defaultpage"), nullptr);
  EXPECT_FALSE(panel["USE"].Enabled);
}

TEST(ItemPanelTest, ChoosingAnEntryPutsItsCaptionIntoTheValueThenRaisesTheEvent) {
  ItemPanel panel = MakePanel();
  Item& list = panel["DEFAULTPAGE"];
  list.AddEntry("file:///s/a.htm", "A", ItemKind::kLabel);
  list.AddEntry("file:///s/b.htm", "B", ItemKind::kLabel);
  std::string seen;
  panel.AfterDropDown = [&](Item& item) { seen = item.Key + "=" + item.Value; };
  panel.ChooseEntry("DEFAULTPAGE", 1);
  EXPECT_EQ(seen, "DEFAULTPAGE=B");
  panel.ChooseEntry("DEFAULTPAGE", 5);  // no such entry: nothing happens
  EXPECT_EQ(list.Value, "B");
}

TEST(ItemPanelTest, DisabledItemsRaiseNoEvents) {
  ItemPanel panel = MakePanel();
  int clicks = 0;
  panel.Click = [&](Item&) { ++clicks; };
  panel.PressButton("USE");
  EXPECT_EQ(clicks, 0);
  panel["USE"].Enabled = true;
  panel.PressButton("USE");
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace corvina
