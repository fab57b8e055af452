// The toolkit's list view and progress bar over the real common controls: what the panel's
// scenarios take for granted, at the edges they do not reach.
#include <gtest/gtest.h>

#include "platform/ui/controls.h"

namespace deckwright {
namespace {

class ControlsTest : public ::testing::Test {
  protected:
    ControlsTest() {
        parent.CreateEx(0, nullptr, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 400, 300}, nullptr, 0);
    }
    CWnd parent;
};

TEST_F(ControlsTest, ProgressRangeAndStepsGoPast16Bits) {
    CProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_CHILD | WS_VISIBLE, RECT{0, 0, 200, 20}, parent, 1));
    bar.SetRange32(0, 80000);
    int low = -1, high = -1;
    bar.GetRange(low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 80000);
    bar.SetStep(1);
    bar.SetPos(40000);
    bar.StepIt();
    EXPECT_EQ(bar.GetPos(), 40001);
    bar.SetPos(0);
    EXPECT_EQ(bar.GetPos(), 0);
}

TEST_F(ControlsTest, ListRowsKeepLongUnicodeTextsAndTheirCheckMarks) {
    CListCtrl list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT, RECT{0, 0, 300, 200}, parent, 1));
    list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (int column = 0; column < 4; ++column) list.InsertColumn(column, "c", LVCFMT_LEFT, 50);
    const std::string name = "Pr\xC3\xA4sentation \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC.ppt";
    const std::string long_path = "Z:\\" + std::string(600, 'x') + "\\" + name;
    EXPECT_EQ(list.InsertItem(LVIF_TEXT | LVIF_IMAGE, 0, name, 3), 0);
    EXPECT_EQ(list.InsertItem(LVIF_TEXT | LVIF_IMAGE, 0, "first", 3), 0);
    EXPECT_TRUE(list.SetItemText(1, 1, long_path));
    EXPECT_EQ(list.GetItemText(1, 0), name);
    EXPECT_EQ(list.GetItemText(1, 1), long_path) << "a text longer than one buffer";
    EXPECT_EQ(list.GetItemText(0, 0), "first");
    EXPECT_EQ(list.GetItemCount(), 2);
    EXPECT_FALSE(list.GetCheck(0));
    EXPECT_TRUE(list.SetCheck(1, true));
    EXPECT_TRUE(list.GetCheck(1));
    EXPECT_FALSE(list.GetCheck(0));
    EXPECT_TRUE(list.SetCheck(1, false));
    EXPECT_FALSE(list.GetCheck(1));
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetItemText(0, 0), name);
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
}

}  // namespace
}  // namespace deckwright
