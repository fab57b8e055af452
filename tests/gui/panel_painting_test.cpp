// What the panel paints, read back from the screen: gradient, logo, title, the caption and the
// instruction of each page, and the status line until a repaint takes it away.
#include <gtest/gtest.h>

#include <functional>

#include "dialogs/desktop_dialogs.h"
#include "panel/wizard_view.h"
#include "platform/ui/afx_ids.h"
#include "res/resource.h"
#include "tests/gui/gui_support.h"

namespace deckwright {
namespace {

using testing::Hex;

constexpr COLORREF kTextCell = RGB(240, 156, 72);
constexpr COLORREF kInk = RGB(0, 0, 0);

class PanelPaintingTest : public ::testing::Test {
  protected:
    PanelPaintingTest() {
        parent.CreateEx(0, nullptr, "", WS_POPUP | WS_VISIBLE, RECT{0, 0, 800, 600}, nullptr, 0);
        panel.Create(nullptr, "", WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{0, 0, 800, 600}, parent,
                     AFX_IDW_PANE_FIRST, nullptr);
        panel.LayoutControls(800, 600);
        Repaint();
    }
    void Repaint() {
        panel.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        ::GdiFlush();
    }
    COLORREF Pixel(int x, int y) {
        HDC dc = ::GetDC(panel.m_hWnd);
        const COLORREF c = ::GetPixel(dc, x, y);
        ::ReleaseDC(panel.m_hWnd, dc);
        return c;
    }
    // How many pixels of the rectangle satisfy want.
    int Count(RECT r, const std::function<bool(COLORREF)>& want) {
        HDC dc = ::GetDC(panel.m_hWnd);
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) n += want(::GetPixel(dc, x, y)) ? 1 : 0;
        }
        ::ReleaseDC(panel.m_hWnd, dc);
        return n;
    }
    int CountOf(RECT r, COLORREF colour) {
        return Count(r, [&](COLORREF c) { return c == colour; });
    }
    // Pixels that are not the background of their row: what is painted over it. (The texts'
    // cell colour is the background's own a little above the bottom, so it cannot tell.)
    int NotBackground(RECT r) {
        HDC dc = ::GetDC(panel.m_hWnd);
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) n += ::GetPixel(dc, x, y) != Gradient(y);
        }
        ::ReleaseDC(panel.m_hWnd, dc);
        return n;
    }
    // The background's colour in row y of the 600-pixel-high panel.
    COLORREF Gradient(int y) const { return testing::GradientBand(y, 600); }

    // Where the texts go on a 600-pixel-high panel.
    const RECT instruction{50, 520, 600, 540};
    const RECT caption{90, 543, 200, 570};

    std::string settings = testing::kScratchSettings;
    DesktopDialogs dialogs;
    CWnd parent;
    CWizardView panel{dialogs, settings};
};

TEST_F(PanelPaintingTest, BackgroundLogoAndTitle) {
    for (int y : {0, 99, 301, 590}) {
        EXPECT_EQ(Hex(Pixel(20, y)), Hex(Gradient(y))) << "row " << y;
    }
    // The logo, pixel for pixel.
    CBitmap logo;
    ASSERT_TRUE(logo.LoadBitmap(IDB_LOGO));
    CDC memory;
    memory.CreateCompatibleDC(nullptr);
    CSelect selected(memory, logo);
    int differing = 0;
    for (int y = 0; y < 76; y += 3) {
        for (int x = 0; x < 76; x += 3) differing += Pixel(10 + x, 10 + y) != memory.GetPixel(x, y);
    }
    EXPECT_EQ(differing, 0);
    // The title lightens the background where its letters are (red and blue at 255) and
    // leaves it as it was around them.
    const int lit = Count(RECT{90, 10, 725, 75},
                          [](COLORREF c) { return GetRValue(c) == 255 && GetBValue(c) == 255; });
    EXPECT_GT(lit, 1000);
    EXPECT_EQ(Hex(Pixel(720, 12)), Hex(Gradient(12)));
    EXPECT_EQ(Hex(Pixel(400, 85)), Hex(Gradient(85))) << "nothing below the title's 65 rows";
}

TEST_F(PanelPaintingTest, EachPageHasItsInstructionAndTheCaptionWhereTheBoxIsShown) {
    struct Case {
        int page;
        bool instruction, caption;
    };
    for (const Case& c : {Case{CWizardView::PAGE_FILES, true, true},
                          Case{CWizardView::PAGE_REPAIRING, false, false},
                          Case{CWizardView::PAGE_REPAIRED, true, true},
                          Case{CWizardView::PAGE_SAVED, true, false}}) {
        SCOPED_TRACE(c.page);
        panel.m_nPage = c.page;
        const bool box = c.page == CWizardView::PAGE_FILES || c.page == CWizardView::PAGE_REPAIRED;
        panel.m_chkSelectAll.ShowWindow(box ? SW_SHOWNORMAL : SW_HIDE);
        Repaint();
        EXPECT_EQ(NotBackground(instruction) > 200, c.instruction);
        EXPECT_EQ(CountOf(instruction, kInk) > 50, c.instruction);
        EXPECT_EQ(NotBackground(caption) > 50, c.caption);
        EXPECT_EQ(CountOf(caption, kInk) > 20, c.caption);
    }
}

TEST_F(PanelPaintingTest, TheStatusLineShowsUntilTheNextRepaint) {
    const RECT band = panel.m_rcStatus;
    EXPECT_EQ(NotBackground(band), 0);
    panel.DrawStatusText("Reparing....    Z:\\presentations\\deck.ppt");
    const int painted = NotBackground(band);
    EXPECT_GT(painted, 500);
    EXPECT_GT(CountOf(band, kTextCell), 500) << "the cells have the text background";
    EXPECT_GT(CountOf(band, kInk), 50);
    // A shorter text leaves the tail of the longer one; the finished text's blanks cover more.
    panel.DrawStatusText("Saving....    Z:\\a.ppt");
    EXPECT_GE(NotBackground(band), painted);
    panel.DrawStatusText("Finished Reparing Files...." + std::string(146, ' '));
    EXPECT_GT(NotBackground(band), painted);
    Repaint();
    EXPECT_EQ(NotBackground(band), 0) << "a repaint takes the status line away";
}

}  // namespace
}  // namespace deckwright
