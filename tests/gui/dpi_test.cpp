// At whatever scaling the screen has (the tests run at 96, 144 and 192 DPI): every text the
// program paints lies inside its window, clear of the controls and the logo, with room for all
// of it; the toolbar's buttons grow with the screen; the About box's outline frames the box.
// Screenshots of each window go to DECKWRIGHT_SCREENSHOTS when it is set.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "dialogs/about_dlg.h"
#include "dialogs/file_saved_dlg.h"
#include "dialogs/settings_dlg.h"
#include "platform/utf.h"
#include "res/resource.h"
#include "skin/font.h"
#include "tests/gui/gui_support.h"

namespace deckwright {
namespace {

using testing::DialogWatcher;

std::string Show(RECT r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

bool Overlap(RECT a, RECT b) {
    RECT both{};
    return ::IntersectRect(&both, &a, &b) != FALSE;
}

bool Inside(RECT inner, RECT outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The rectangle of a child window in its parent's client coordinates.
RECT ChildRect(HWND child, HWND parent) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// How much room a text takes in the program's font form.
SIZE Extent(HWND window, const std::string& text, int height, const std::string& face) {
    CFont font;
    CreateSkinFont(font, height, face);
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, font.m_hObject);
    RECT r{0, 0, 0, 0};
    const std::wstring w = Widen(text);
    ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_LEFT | DT_TOP);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// A painted text: inside the client area, clear of every visible child, and room for it all.
void ExpectTextFits(HWND window, const std::string& text, RECT rect, int height,
                    const std::string& face, const std::vector<RECT>& clear_of) {
    SCOPED_TRACE(text + " at " + Show(rect));
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_TRUE(Inside(rect, client)) << "outside the window " << Show(client);
    for (const RECT& other : clear_of)
        EXPECT_FALSE(Overlap(rect, other)) << "covers " << Show(other);
    const SIZE need = Extent(window, text, height, face);
    EXPECT_LE(need.cx, rect.right - rect.left) << "cut at the right";
    EXPECT_LE(need.cy, rect.bottom - rect.top + 1) << "cut at the bottom";
}

std::vector<RECT> VisibleChildren(HWND parent) {
    std::vector<RECT> rects;
    for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (::IsWindowVisible(c)) rects.push_back(ChildRect(c, parent));
    }
    return rects;
}

// Saves what the window shows as DECKWRIGHT_SCREENSHOTS/dpi<N>-<name>.bmp.
void Screenshot(HWND window, const std::string& name) {
    const char* folder = std::getenv("DECKWRIGHT_SCREENSHOTS");
    if (!folder || !*folder) return;
    // A dialog is caught as it becomes active, before the system shows and paints it.
    if (!::IsWindowVisible(window)) ::ShowWindow(window, SW_SHOWNORMAL);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    const std::wstring path = Widen(std::string(folder)) + L"\\dpi" +
                              std::to_wstring(::GetDeviceCaps(screen, LOGPIXELSY)) + L"-" +
                              Widen(name) + L".bmp";
    if (FILE* out = _wfopen(path.c_str(), L"wb")) {
        fwrite(&file, sizeof file, 1, out);
        fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        fwrite(bits, stride, static_cast<std::size_t>(h), out);
        fclose(out);
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

TEST(Dpi, TheMainWindowsTextsFitOnEveryPageAndItsToolbarGrows) {
    auto* frame = new CMainFrame(testing::kScratchSettings);
    ASSERT_TRUE(frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr));
    HWND hwnd = frame->m_hWnd;
    // The size a user would see at 100%, grown with the screen.
    ::SetWindowPos(hwnd, nullptr, 0, 0, frame->Scale(960), frame->Scale(768),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    frame->ShowWindow(SW_SHOWNORMAL);
    ::UpdateWindow(hwnd);
    PumpMessages();

    RECT button{};
    frame->ToolBar().SendMessage(TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.right - button.left, frame->Scale(60));
    EXPECT_EQ(button.bottom - button.top, frame->Scale(75));

    CWizardView& panel = frame->Panel();
    struct Page {
        int page;
        const char* name;
    };
    for (const Page& page :
         {Page{CWizardView::PAGE_FILES, "files"}, Page{CWizardView::PAGE_REPAIRING, "repairing"},
          Page{CWizardView::PAGE_REPAIRED, "repaired"}, Page{CWizardView::PAGE_SAVED, "saved"}}) {
        SCOPED_TRACE(page.name);
        // The page's controls as SwitchPage shows them, without starting a run.
        panel.m_nPage = page.page;
        panel.HideAllControls();
        const bool box =
            page.page == CWizardView::PAGE_FILES || page.page == CWizardView::PAGE_REPAIRED;
        const bool busy = page.page == CWizardView::PAGE_REPAIRING;
        CListCtrl& list = page.page == CWizardView::PAGE_FILES   ? panel.m_listFiles
                          : page.page == CWizardView::PAGE_SAVED ? panel.m_listSaved
                                                                 : panel.m_listRepaired;
        list.ShowWindow(SW_SHOWNORMAL);
        if (box) panel.m_chkSelectAll.ShowWindow(SW_SHOWNORMAL);
        if (busy) panel.m_progress.ShowWindow(SW_SHOWNORMAL);
        if (page.page == CWizardView::PAGE_FILES || page.page == CWizardView::PAGE_REPAIRED) {
            panel.m_btnNext.ShowWindow(SW_SHOWNORMAL);
        }
        if (page.page == CWizardView::PAGE_REPAIRED || page.page == CWizardView::PAGE_SAVED) {
            panel.m_btnPrevious.ShowWindow(SW_SHOWNORMAL);
        }
        if (page.page == CWizardView::PAGE_SAVED) panel.m_btnFinished.ShowWindow(SW_SHOWNORMAL);
        panel.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

        const CWizardView::PaintLayout layout = panel.GetPaintLayout();
        std::vector<RECT> clear_of = VisibleChildren(panel.m_hWnd);
        clear_of.push_back(layout.logo);
        if (box) {
            ExpectTextFits(panel.m_hWnd, "Select All ", layout.select_all, layout.text_height,
                           "Times New Roman", clear_of);
        }
        if (const char* instruction = CWizardView::InstructionOf(page.page)) {
            ExpectTextFits(panel.m_hWnd, instruction, layout.instruction, layout.text_height,
                           "Times New Roman", clear_of);
        }
        ExpectTextFits(panel.m_hWnd, "Velmora Deckwright", layout.title, layout.title_height,
                       "Monotype Corsiva", clear_of);
        if (busy) {
            // The status line's band, with the longest of its own texts.
            ExpectTextFits(panel.m_hWnd, "Finished Reparing Files....", panel.m_rcStatus,
                           layout.status_height, "Times New Roman", VisibleChildren(panel.m_hWnd));
        }
        Screenshot(hwnd, std::string("main-") + page.name);
    }
    ::DestroyWindow(hwnd);
}

// A dialog's painted lines: inside it, clear of its controls and icon, room for each.
void ExpectLinesFit(HWND box, const std::vector<PaintedLine>& lines, int height) {
    const std::vector<RECT> controls = VisibleChildren(box);
    for (const PaintedLine& line : lines) {
        ExpectTextFits(box, line.text, line.rect, height, "verdana", controls);
    }
}

TEST(Dpi, TheAboutBoxsLinesFitAndItsOutlineFramesTheBox) {
    DialogWatcher watcher([](HWND box) {
        auto* about = static_cast<CAboutDlg*>(CWnd::FromHandle(box));
        ExpectLinesFit(box, about->Lines(), about->Scale(13));
        RECT client{};
        ::GetClientRect(box, &client);
        const RECT outline = about->OutlineRect();
        EXPECT_TRUE(Inside(outline, client)) << Show(outline) << " in " << Show(client);
        EXPECT_GE(4 * (outline.right - outline.left), 3 * client.right)
            << "the outline spans three quarters of the box";
        Screenshot(box, "about");
    });
    CAboutDlg about;
    about.DoModal();
    EXPECT_EQ(watcher.shown.size(), 1u);
}

TEST(Dpi, TheSettingsAndFileSavedLinesFit) {
    DialogWatcher watcher([](HWND box) {
        CWnd* dialog = CWnd::FromHandle(box);
        if (auto* settings = dynamic_cast<CSettingsDlg*>(dialog)) {
            ExpectLinesFit(box, settings->Lines(), settings->Scale(13));
            Screenshot(box, "settings");
        } else if (auto* saved = dynamic_cast<CFileSavedDlg*>(dialog)) {
            ExpectLinesFit(box, saved->Lines(), saved->Scale(14));
            Screenshot(box, "file-saved");
        }
    });
    CSettingsDlg settings;
    settings.SetSaveFolder("C:\\Out\\");
    settings.DoModal();
    CFileSavedDlg saved;
    saved.SetFolder("C:\\Out\\");
    saved.DoModal();
    EXPECT_EQ(watcher.shown.size(), 2u);
}

}  // namespace
}  // namespace deckwright
