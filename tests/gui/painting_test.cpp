// What the skin paints, read back from memory surfaces: the gradient, the About box, the
// bitmap buttons; and the bitmaps and icon the resources hold.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/about_dlg.h"
#include "platform/ui/wnd.h"
#include "res/resource.h"
#include "skin/bitmap_button.h"
#include "skin/gradient.h"
#include "tests/gui/gui_support.h"

namespace deckwright {
namespace {

using testing::DialogWatcher;
using testing::Hex;
using testing::Surface;

constexpr COLORREF kUntouched = RGB(1, 2, 3);

// A borderless popup of exactly the given outer size (the gradient reads the window rect).
class SizedWindow : public CWnd {
  public:
    SizedWindow(int width, int height) {
        CreateEx(0, nullptr, "", WS_POPUP, RECT{0, 0, width, height}, nullptr, 0);
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
};

std::vector<COLORREF> BandColours(int height) {
    SizedWindow window(30, height);
    RECT r = window.GetWindowRect();
    EXPECT_EQ(r.bottom - r.top, height);
    Surface surface(30, height + 8, kUntouched);
    GradientBackground(surface.dc(), window);
    std::vector<COLORREF> bands;
    for (int y = 0; y < height; y += 4) {
        const COLORREF c = surface.Pixel(15, y);
        // Every row of a band has its colour, across the full width.
        for (int row = y; row < std::min(y + 4, height); ++row) {
            EXPECT_EQ(surface.Pixel(0, row), c) << "row " << row;
            EXPECT_EQ(surface.Pixel(29, row), c) << "row " << row;
        }
        bands.push_back(c);
    }
    EXPECT_EQ(surface.Pixel(15, height), kUntouched) << "painted below the window";
    return bands;
}

TEST(GradientBackground, BandsFollowSinglePrecisionSteps) {
    // 400 and 600 rows: the accumulated error shows in the last band.
    std::vector<COLORREF> b400 = BandColours(400);
    ASSERT_EQ(b400.size(), 100u);
    EXPECT_EQ(Hex(b400.front()), Hex(RGB(240, 239, 238)));
    EXPECT_EQ(Hex(b400.back()), Hex(RGB(240, 145, 51)));
    std::vector<COLORREF> b600 = BandColours(600);
    ASSERT_EQ(b600.size(), 150u);
    EXPECT_EQ(Hex(b600.back()), Hex(RGB(240, 146, 52)));
    // Red stays 240, green and blue never rise.
    for (std::size_t i = 1; i < b600.size(); ++i) {
        EXPECT_EQ(GetRValue(b600[i]), 240);
        EXPECT_LE(GetGValue(b600[i]), GetGValue(b600[i - 1]));
        EXPECT_LE(GetBValue(b600[i]), GetBValue(b600[i - 1]));
    }
}

TEST(GradientBackground, ShortLastBandAndTinyAndEmptyWindows) {
    std::vector<COLORREF> b401 = BandColours(401);
    ASSERT_EQ(b401.size(), 101u);  // the last band is row 400 alone
    EXPECT_EQ(Hex(b401.back()), Hex(RGB(240, 145, 50)));
    // Five rows: blue goes below zero and only its low 8 bits are kept.
    std::vector<COLORREF> b5 = BandColours(5);
    ASSERT_EQ(b5.size(), 2u);
    EXPECT_EQ(Hex(b5[0]), Hex(RGB(240, 164, 89)));
    EXPECT_EQ(Hex(b5[1]), Hex(RGB(240, 89, 196)));
    // No rows: nothing is painted.
    SizedWindow window(30, 0);
    Surface surface(30, 8, kUntouched);
    GradientBackground(surface.dc(), window);
    EXPECT_EQ(surface.Pixel(0, 0), kUntouched);
    EXPECT_EQ(surface.Pixel(29, 7), kUntouched);
}

// ---------------------------------------------------------------- About box

struct AboutPixels {
    int width = 0, height = 0;
    std::vector<COLORREF> leftColumn;  // x = 2, every row of the outer height
    COLORREF outline[4] = {};          // (60,20), (455,100), (200,180), (60,100)
    COLORREF inside = 0;               // (300, 150): gradient inside the outline
    int textBackground = 0;            // pixels of RGB(240, 230, 220) on the product line
    int textInk = 0;                   // black pixels on the product line
};

AboutPixels PaintAbout(HWND box) {
    AboutPixels p;
    RECT r{};
    ::GetWindowRect(box, &r);
    p.width = r.right - r.left;
    p.height = r.bottom - r.top;
    Surface surface(p.width, p.height, kUntouched);
    ::SendMessageW(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc().m_hDC),
                   PRF_CLIENT | PRF_ERASEBKGND);
    for (int y = 0; y < p.height; ++y) p.leftColumn.push_back(surface.Pixel(2, y));
    p.outline[0] = surface.Pixel(60, 20);
    p.outline[1] = surface.Pixel(455, 100);
    p.outline[2] = surface.Pixel(200, 180);
    p.outline[3] = surface.Pixel(60, 100);
    p.inside = surface.Pixel(300, 150);
    for (int y = 30; y < 50; ++y) {
        for (int x = 80; x < 320; ++x) {
            const COLORREF c = surface.Pixel(x, y);
            if (c == RGB(240, 230, 220)) ++p.textBackground;
            if (c == RGB(0, 0, 0)) ++p.textInk;
        }
    }
    return p;
}

void ExpectWholeStepBands(const AboutPixels& p) {
    const int q = p.height / 4;
    ASSERT_GT(q, 0);
    for (int y = 0; y < p.height; ++y) {
        const int band = y / 4 + 1;  // the first band is already one step down
        const COLORREF want =
            RGB(240, (240 - band * (94 / q)) & 0xFF, (240 - band * (188 / q)) & 0xFF);
        ASSERT_EQ(Hex(p.leftColumn[static_cast<std::size_t>(y)]), Hex(want)) << "row " << y;
    }
}

void ExpectTextAndOutline(const AboutPixels& p) {
    for (COLORREF c : p.outline) EXPECT_EQ(Hex(c), Hex(RGB(0, 0, 0)));
    EXPECT_NE(Hex(p.inside), Hex(RGB(0, 0, 0)));
    EXPECT_GT(p.textBackground, 100) << "the product line's cells have their background";
    EXPECT_GT(p.textInk, 30) << "the product line is drawn in black";
}

TEST(AboutBox, PaintsWholeStepGradientTextAndOutline) {
    AboutPixels natural, at250, again;
    DialogWatcher watcher([&](HWND box) {
        natural = PaintAbout(box);
        again = PaintAbout(box);  // a repaint is the same
        ::SetWindowPos(box, nullptr, 0, 0, natural.width, 250, SWP_NOZORDER | SWP_NOMOVE);
        at250 = PaintAbout(box);
    });
    CAboutDlg about;
    EXPECT_EQ(about.DoModal(), IDOK);
    ASSERT_EQ(watcher.shown.size(), 1u);
    EXPECT_EQ(watcher.shown[0].caption, "About Deckwright");

    ASSERT_GT(natural.height, 150);
    ExpectWholeStepBands(natural);
    ExpectTextAndOutline(natural);
    EXPECT_EQ(natural.leftColumn, again.leftColumn);
    EXPECT_EQ(natural.textInk, again.textInk);

    // 250 rows: q = 62, steps 0, 1, 3; the 63rd and last band is RGB(240, 177, 51).
    ASSERT_EQ(at250.height, 250);
    ExpectWholeStepBands(at250);
    EXPECT_EQ(Hex(at250.leftColumn[249]), Hex(RGB(240, 177, 51)));
    EXPECT_EQ(Hex(at250.leftColumn[0]), Hex(RGB(240, 239, 237)));
}

TEST(AboutBox, HoldsTheIconAndTheOkButton) {
    bool checked = false;
    DialogWatcher watcher(
        [&](HWND box) {
            HWND ok = ::GetDlgItem(box, IDOK);
            ASSERT_NE(ok, nullptr);
            EXPECT_TRUE(::GetWindowLongPtrW(ok, GWL_STYLE) & BS_DEFPUSHBUTTON);
            HWND icon = ::GetDlgItem(box, 0xFFFF);  // IDC_STATIC as a 16-bit id
            ASSERT_NE(icon, nullptr);
            EXPECT_EQ(::GetWindowLongPtrW(icon, GWL_STYLE) & SS_TYPEMASK, SS_ICON);
            EXPECT_NE(::SendMessageW(icon, STM_GETICON, 0, 0), 0);
            checked = true;
        },
        IDCANCEL);
    CAboutDlg about;
    EXPECT_EQ(about.DoModal(), IDCANCEL);  // Escape closes it as well
    EXPECT_TRUE(checked);
}

// ---------------------------------------------------------------- resources

struct DibInfo {
    LONG width = 0, height = 0;
    WORD bits = 0;
    DWORD compression = 99;
};

DibInfo BitmapResource(UINT id) {
    DibInfo d;
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));
    if (!found) return d;
    const auto* h =
        static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(nullptr, found)));
    d.width = h->biWidth;
    d.height = h->biHeight;
    d.bits = h->biBitCount;
    d.compression = h->biCompression;
    return d;
}

TEST(Resources, BitmapsHaveTheirSizesAndDepths) {
    struct Want {
        UINT id;
        LONG w, h;
        WORD bits;
    };
    const Want want[] = {{IDR_MAINFRAME, 96, 15, 4},     {IDB_TOOLBAR_NORMAL, 350, 50, 24},
                         {IDB_TOOLBAR_HOT, 350, 50, 24}, {IDB_LOGO, 76, 76, 24},
                         {IDB_NEXT, 85, 40, 24},         {IDB_NEXT_PRESSED, 82, 39, 24},
                         {IDB_PREVIOUS, 85, 40, 24},     {IDB_PREVIOUS_PRESSED, 82, 39, 24},
                         {IDB_FINISHED, 82, 39, 24},     {IDB_FINISHED_PRESSED, 82, 39, 24}};
    for (const Want& w : want) {
        SCOPED_TRACE(w.id);
        const DibInfo d = BitmapResource(w.id);
        EXPECT_EQ(d.width, w.w);
        EXPECT_EQ(d.height, w.h);  // positive: rows bottom-up
        EXPECT_EQ(d.bits, w.bits);
        EXPECT_EQ(d.compression, static_cast<DWORD>(BI_RGB));
    }
    for (UINT id : {129u, 132u, 133u, 134u}) {
        EXPECT_EQ(::FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2)), nullptr);
    }
}

TEST(Resources, ButtonFacesHaveThePanelColouredCornersAndTheStripsMagentaBackground) {
    for (UINT id : {IDB_NEXT, IDB_NEXT_PRESSED, IDB_PREVIOUS, IDB_PREVIOUS_PRESSED, IDB_FINISHED,
                    IDB_FINISHED_PRESSED}) {
        SCOPED_TRACE(id);
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadBitmap(id));
        const SIZE s = bitmap.GetSize();
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        CSelect selected(dc, bitmap);
        for (POINT p :
             {POINT{0, 0}, POINT{s.cx - 1, 0}, POINT{0, s.cy - 1}, POINT{s.cx - 1, s.cy - 1}}) {
            EXPECT_EQ(Hex(dc.GetPixel(p.x, p.y)), Hex(RGB(240, 153, 67)));
        }
    }
    for (UINT id : {IDB_TOOLBAR_NORMAL, IDB_TOOLBAR_HOT}) {
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadBitmap(id));
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        CSelect selected(dc, bitmap);
        int pictured = 0;
        for (int cell = 0; cell < 7; ++cell) {
            EXPECT_EQ(Hex(dc.GetPixel(cell * 50, 0)), Hex(RGB(255, 0, 255)));
            if (dc.GetPixel(cell * 50 + 25, 25) != RGB(255, 0, 255)) ++pictured;
        }
        EXPECT_EQ(pictured, 6) << "six pictures, the seventh cell empty";
    }
}

TEST(Resources, IconKeepsItsSmall4BitImagesAndHasLargeOnesUpTo256Pixels) {
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14));
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found)));
    const WORD count = *reinterpret_cast<const WORD*>(group + 4);
    std::vector<std::pair<int, int>> images;  // size (256 for 0), bits
    for (int i = 0; i < count; ++i) {
        const BYTE* e = group + 6 + 14 * i;  // width, height, colours, 0, planes, bits, ...
        images.emplace_back(e[0] ? e[0] : 256, *reinterpret_cast<const WORD*>(e + 6));
    }
    ASSERT_GE(images.size(), 3u);
    EXPECT_EQ(images[0], (std::pair<int, int>{32, 4}));
    EXPECT_EQ(images[1], (std::pair<int, int>{16, 4}));
    EXPECT_EQ(images.back(), (std::pair<int, int>{256, 32}));
    // What a screen at 200% asks for as the big icon loads at its own size.
    HICON big = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 64,
                                                64, LR_DEFAULTCOLOR));
    ASSERT_NE(big, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(big, &info));
    BITMAP bm{};
    ::GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 64);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(big);
}

// ---------------------------------------------------------------- bitmap buttons

class ButtonParent : public CWnd {
  public:
    ButtonParent() { CreateEx(0, nullptr, "", WS_POPUP, RECT{0, 0, 200, 100}, nullptr, 0); }
};

// Draws the button through its parent, as the system asks it to, into a memory surface.
Surface* DrawButton(ButtonParent& parent, CBitmapButton& button, UINT state, int w, int h) {
    auto* surface = new Surface(w, h, kUntouched);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(::GetDlgCtrlID(button.m_hWnd));
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = state;
    dis.hwndItem = button.m_hWnd;
    dis.hDC = surface->dc().m_hDC;
    dis.rcItem = RECT{0, 0, w, h};
    parent.SendMessage(WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    return surface;
}

bool SameAsBitmap(Surface& s, UINT id, int w, int h) {
    CBitmap bitmap;
    bitmap.LoadBitmap(id);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CSelect selected(dc, bitmap);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (s.Pixel(x, y) != dc.GetPixel(x, y)) return false;
        }
    }
    return true;
}

TEST(BitmapButton, ShowsThePressedImageOnlyWhileHeldDown) {
    ButtonParent parent;
    CBitmapButton next;
    ASSERT_TRUE(next.Create("Next", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, RECT{0, 0, 82, 39},
                            parent, IDC_NEXT));
    EXPECT_TRUE(next.LoadBitmaps(IDB_NEXT, IDB_NEXT_PRESSED, 0, 0));
    EXPECT_EQ(next.m_bitmapFocus.m_hObject, nullptr);
    EXPECT_EQ(next.m_bitmapDisabled.m_hObject, nullptr);
    std::unique_ptr<Surface> up(DrawButton(parent, next, 0, 82, 39));
    EXPECT_TRUE(SameAsBitmap(*up, IDB_NEXT, 82, 39));  // the 85 x 40 image is cut off
    std::unique_ptr<Surface> down(DrawButton(parent, next, ODS_SELECTED | ODS_FOCUS, 82, 39));
    EXPECT_TRUE(SameAsBitmap(*down, IDB_NEXT_PRESSED, 82, 39));
    EXPECT_FALSE(SameAsBitmap(*down, IDB_NEXT, 82, 39));
    // Focused or disabled, with those slots empty: the normal image.
    for (UINT state : {UINT{ODS_FOCUS}, UINT{ODS_DISABLED}}) {
        std::unique_ptr<Surface> s(DrawButton(parent, next, state, 82, 39));
        EXPECT_TRUE(SameAsBitmap(*s, IDB_NEXT, 82, 39)) << state;
    }
}

TEST(BitmapButton, PressedPreviousCoversTheTwoColumnsItsImageDoesNotReach) {
    ButtonParent parent;
    CBitmapButton previous;
    ASSERT_TRUE(previous.Create("Previous", WS_CHILD | BS_OWNERDRAW, RECT{0, 0, 84, 39}, parent,
                                IDC_PREVIOUS));
    previous.LoadBitmaps(IDB_PREVIOUS, IDB_PREVIOUS_PRESSED, 0, 0);
    std::unique_ptr<Surface> down(DrawButton(parent, previous, ODS_SELECTED, 84, 39));
    EXPECT_TRUE(SameAsBitmap(*down, IDB_PREVIOUS_PRESSED, 82, 39));
    for (int y = 0; y < 39; ++y) {
        EXPECT_EQ(Hex(down->Pixel(82, y)), Hex(RGB(240, 153, 67)));
        EXPECT_EQ(Hex(down->Pixel(83, y)), Hex(RGB(240, 153, 67)));
    }
}

}  // namespace
}  // namespace deckwright
