// The main frame against real windows: creation, routing, toolbar, status bar, layout, close.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/repair_app.h"
#include "platform/utf.h"
#include "platform/ui/shell.h"
#include "res/resource.h"
#include "tests/gui/gui_support.h"
#include "tests/runs/run_test_support.h"
#include "version.h"

namespace deckwright {
namespace {

using testing::DialogWatcher;

struct ShellCall {
    std::string verb, file;
    int show;
};

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetShellOpenFunction(
            [this](HWND, const std::string& verb, const std::string& file, int show) {
                shell.push_back({verb, file, show});
            });
        frame = new CMainFrame(testing::kScratchSettings);
        ASSERT_TRUE(frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr));
        hwnd = frame->m_hWnd;
        ::SetWindowPos(hwnd, nullptr, 10, 10, 800, 600, SWP_NOZORDER | SWP_NOACTIVATE);
        frame->ShowWindow(SW_SHOWNORMAL);
        PumpMessages();
    }
    void TearDown() override {
        if (::IsWindow(hwnd)) ::DestroyWindow(hwnd);  // the frame deletes itself
        SetShellOpenFunction({});
        PumpMessages();
    }
    void Command(UINT id) { ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    CMainFrame* frame = nullptr;
    HWND hwnd = nullptr;
    std::vector<ShellCall> shell;
};

// ---------------------------------------------------------------- creation

std::vector<UINT_PTR>* g_created = nullptr;
UINT_PTR g_block = 0;

LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs;
        if (cs->style & WS_CHILD) {
            const auto id = reinterpret_cast<UINT_PTR>(cs->hMenu);
            if (g_created && (id & 0xFF00) >= 0xE800 && (id & 0xFF00) <= 0xE900) {
                g_created->push_back(id);
            }
            if (g_block && id == g_block) return 1;  // refuse this window
        }
    }
    (void)wp;
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

TEST(MainFrameCreation, MakesPanelToolbarRebarStatusBarInOrder) {
    std::vector<UINT_PTR> created;
    g_created = &created;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
    auto* frame = new CMainFrame(testing::kScratchSettings);
    const bool ok = frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr);
    ::UnhookWindowsHookEx(hook);
    g_created = nullptr;
    ASSERT_TRUE(ok);
    HWND hwnd = frame->m_hWnd;
    EXPECT_EQ(created, (std::vector<UINT_PTR>{AFX_IDW_PANE_FIRST, AFX_IDW_TOOLBAR, AFX_IDW_REBAR,
                                              AFX_IDW_STATUS_BAR}));
    // Spelled out here rather than taken from DECKWRIGHT_TITLE: the words around the version
    // are what people and their scripts look for.
    EXPECT_EQ(frame->GetWindowText(),
              std::string("Velmora Deckwright Version ") + DECKWRIGHT_VERSION);
    // The panel is the frame's child with the pane id; the toolbar sits in the rebar.
    EXPECT_EQ(::GetDlgItem(hwnd, AFX_IDW_PANE_FIRST), frame->Panel().m_hWnd);
    EXPECT_EQ(::GetParent(frame->ToolBar().m_hWnd), frame->ReBar().m_hWnd);
    EXPECT_EQ(frame->ReBar().SendMessage(RB_GETBANDCOUNT), 1);
    // Panel style: client edge instead of a border; the frame has no client edge.
    const LONG_PTR panelEx = ::GetWindowLongPtrW(frame->Panel().m_hWnd, GWL_EXSTYLE);
    EXPECT_TRUE(panelEx & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(::GetWindowLongPtrW(frame->Panel().m_hWnd, GWL_STYLE) & WS_BORDER);
    EXPECT_FALSE(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // The menu bar: File, Tool, Help with their commands.
    HMENU menu = ::GetMenu(hwnd);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(::GetMenuItemCount(menu), 3);
    const UINT file[] = {ID_ADD_FILE, ID_REMOVE_SELECTED, ID_REMOVE_ALL, ID_APP_EXIT};
    const UINT tool[] = {ID_REPAIR_FILE, ID_SAVE_FILE, 0, ID_SETTINGS};
    const UINT help[] = {ID_HELP_CONTENTS, ID_APP_ABOUT};
    auto ids = [](HMENU popup) {
        std::vector<UINT> v;
        for (int i = 0; i < ::GetMenuItemCount(popup); ++i) {
            v.push_back(::GetMenuItemID(popup, i));
        }
        return v;
    };
    EXPECT_EQ(ids(::GetSubMenu(menu, 0)), std::vector<UINT>(std::begin(file), std::end(file)));
    EXPECT_EQ(ids(::GetSubMenu(menu, 1)), std::vector<UINT>(std::begin(tool), std::end(tool)));
    EXPECT_EQ(ids(::GetSubMenu(menu, 2)), std::vector<UINT>(std::begin(help), std::end(help)));
    wchar_t text[64];
    ::GetMenuStringW(::GetSubMenu(menu, 2), 1, text, 64, MF_BYPOSITION);
    EXPECT_EQ(Narrow(text), "&About Deckwright...");
    // The big icon is the program's 32 x 32 icon.
    auto icon = reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bm{};
    ::GetObjectW(info.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyWindow(hwnd);
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(MainFrameCreation, FailsWithoutAWindowWhenAnyPartCannotBeMade) {
    for (UINT_PTR part : {AFX_IDW_PANE_FIRST, AFX_IDW_TOOLBAR, AFX_IDW_REBAR, AFX_IDW_STATUS_BAR}) {
        SCOPED_TRACE(part);
        g_block = part;
        HHOOK hook = ::SetWindowsHookExW(WH_CBT, CreationHook, nullptr, ::GetCurrentThreadId());
        auto* frame = new CMainFrame(testing::kScratchSettings);  // deletes itself with its window
        const bool ok = frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW, nullptr);
        ::UnhookWindowsHookEx(hook);
        g_block = 0;
        EXPECT_FALSE(ok);
        EXPECT_EQ(::FindWindowW(nullptr, Widen(DECKWRIGHT_TITLE).c_str()), nullptr);
        EXPECT_EQ(::FindWindowW(nullptr, L"Deckwright"), nullptr);
    }
}

TEST(MainFrameCreation, InitInstanceShowsTheFrameAndExitEndsTheLoop) {
    CRepairApp* app = static_cast<CRepairApp*>(AfxGetApp());
    ASSERT_NE(app, nullptr);
    ASSERT_TRUE(app->InitInstance());
    ASSERT_NE(app->m_pMainWnd, nullptr);
    HWND hwnd = app->m_pMainWnd->m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(hwnd));
    EXPECT_FALSE(::IsIconic(hwnd));
    EXPECT_EQ(app->m_strAppName, "Deckwright");
    EXPECT_EQ(app->m_strRegistryKey, "Local AppWizard-Generated Applications");
    ::SendMessageW(hwnd, WM_COMMAND, ID_APP_EXIT, 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(app->m_pMainWnd, nullptr);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));  // loop would end
}

// ---------------------------------------------------------------- routing

TEST_F(MainFrameTest, HelpOpensTheHelpFileBesideTheProgram) {
    Command(ID_HELP_CONTENTS);
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, ProgramFolder() + "help.chm");
    EXPECT_EQ(shell[0].show, SW_SHOWNORMAL);
    EXPECT_TRUE(::IsWindow(hwnd));
}

TEST_F(MainFrameTest, ThePanelIsOfferedEveryCommandFirst) {
    int panelGot = 0;
    frame->Panel().OnCommand(ID_HELP_CONTENTS, [&] { ++panelGot; });
    frame->Panel().OnCommand(ID_APP_ABOUT, [&] { ++panelGot; });
    DialogWatcher watcher;
    Command(ID_HELP_CONTENTS);
    Command(ID_APP_ABOUT);
    EXPECT_EQ(panelGot, 2);
    EXPECT_TRUE(shell.empty());          // the frame did not see Help
    EXPECT_TRUE(watcher.shown.empty());  // nor the application About
}

TEST_F(MainFrameTest, AboutIsTheApplicationsAndShowsTheBox) {
    DialogWatcher watcher;
    Command(ID_APP_ABOUT);
    ASSERT_EQ(watcher.shown.size(), 1u);
    EXPECT_EQ(watcher.shown[0].caption, "About Deckwright");
    EXPECT_TRUE(::IsWindow(hwnd));
}

TEST_F(MainFrameTest, ExitClosesTheFrame) {
    Command(ID_APP_EXIT);  // the test's frame is not the application's main window
    EXPECT_TRUE(::IsWindow(hwnd));
    AfxGetApp()->m_pMainWnd = frame;
    Command(ID_APP_EXIT);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST_F(MainFrameTest, EditingAcceleratorsDoNothing) {
    HACCEL table = frame->GetAccelerators();
    ASSERT_NE(table, nullptr);
    ACCEL entries[16];
    const int n = ::CopyAcceleratorTableW(table, entries, 16);
    ASSERT_EQ(n, 10);
    struct Want {
        WORD key;
        BYTE mods;
        WORD cmd;
    };
    const Want want[] = {{'C', FCONTROL, ID_EDIT_COPY},  {VK_INSERT, FCONTROL, ID_EDIT_COPY},
                         {'V', FCONTROL, ID_EDIT_PASTE}, {VK_INSERT, FSHIFT, ID_EDIT_PASTE},
                         {'X', FCONTROL, ID_EDIT_CUT},   {VK_DELETE, FSHIFT, ID_EDIT_CUT},
                         {'Z', FCONTROL, ID_EDIT_UNDO},  {VK_BACK, FALT, ID_EDIT_UNDO},
                         {VK_F6, 0, ID_NEXT_PANE},       {VK_F6, FSHIFT, ID_PREV_PANE}};
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].key, want[i].key);
        EXPECT_EQ(entries[i].fVirt & (FCONTROL | FSHIFT | FALT), want[i].mods);
        EXPECT_EQ(entries[i].cmd, want[i].cmd);
    }
    DialogWatcher watcher;
    for (const Want& w : want) {
        ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(w.cmd, 1), 0);  // as an accelerator sends it
    }
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_TRUE(watcher.shown.empty());
    EXPECT_TRUE(shell.empty());
    EXPECT_EQ(frame->GetMessageText(), "Ready");
}

// ---------------------------------------------------------------- toolbar and status bar

TEST_F(MainFrameTest, ToolbarHasSixCaptionedButtonsWithBothPictureLists) {
    CToolBar& bar = frame->ToolBar();
    ASSERT_EQ(bar.GetCount(), 6);
    const UINT commands[] = {ID_ADD_FILE,  ID_REMOVE_SELECTED, ID_REPAIR_FILE,
                             ID_SAVE_FILE, ID_SETTINGS,        ID_HELP_CONTENTS};
    const char* captions[] = {"Add File", "Remove", "Repair File", "Save File", "Setting", "Help"};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar.GetItemID(i), commands[i]);
        EXPECT_EQ(bar.GetButtonText(i), captions[i]);
        EXPECT_TRUE(bar.SendMessage(TB_ISBUTTONENABLED, commands[i]));
    }
    for (UINT message : {TB_GETIMAGELIST, TB_GETHOTIMAGELIST}) {
        auto list = reinterpret_cast<HIMAGELIST>(bar.SendMessage(message));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(::ImageList_GetImageCount(list), 7);  // 350 / 50, the last cell empty
        int cx = 0, cy = 0;
        ::ImageList_GetIconSize(list, &cx, &cy);
        EXPECT_EQ(cx, 50);
        EXPECT_EQ(cy, 50);
    }
    EXPECT_NE(bar.SendMessage(TB_GETIMAGELIST), bar.SendMessage(TB_GETHOTIMAGELIST));
    EXPECT_EQ(bar.GetBarStyle() & (CBRS_TOOLTIPS | CBRS_FLYBY), CBRS_TOOLTIPS | CBRS_FLYBY);
    // Tooltips: the text after the line break, leading blank kept.
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = reinterpret_cast<HWND>(bar.SendMessage(TB_GETTOOLTIPS));
    info.hdr.idFrom = ID_REMOVE_SELECTED;
    info.hdr.code = TTN_GETDISPINFOW;
    ::SendMessageW(hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_EQ(Narrow(info.lpszText), " Remove file form the list");
    // A real click on a button's centre reaches the frame's routing (Help: the shell).
    RECT r{};
    bar.SendMessage(TB_GETITEMRECT, 5, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    bar.SendMessage(WM_LBUTTONUP, 0, at);
    PumpMessages();
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_NE(shell[0].file.find("help.chm"), std::string::npos);
}

TEST_F(MainFrameTest, StatusBarShowsPromptsThenReady) {
    CStatusBar& bar = frame->StatusBar();
    ASSERT_EQ(bar.SendMessage(SB_GETPARTS, 0, 0), 4);
    EXPECT_EQ(bar.GetItemID(1), static_cast<UINT>(ID_INDICATOR_CAPS));
    EXPECT_EQ(bar.GetItemID(2), static_cast<UINT>(ID_INDICATOR_NUM));
    EXPECT_EQ(bar.GetItemID(3), static_cast<UINT>(ID_INDICATOR_SCRL));
    EXPECT_EQ(frame->GetMessageText(), "Ready");
    HMENU menu = ::GetMenu(hwnd);
    auto select = [&](UINT id, UINT flags) {
        ::SendMessageW(hwnd, WM_MENUSELECT, MAKEWPARAM(id, flags), reinterpret_cast<LPARAM>(menu));
        return frame->GetMessageText();
    };
    EXPECT_EQ(select(ID_ADD_FILE, MF_STRING), "Add File");
    EXPECT_EQ(select(ID_REMOVE_ALL, MF_STRING), "Remove all files form the list");
    EXPECT_EQ(select(ID_APP_EXIT, MF_STRING), "Quit the application; prompts to save documents");
    EXPECT_EQ(select(ID_HELP_CONTENTS, MF_STRING), "");  // no string, no prompt
    EXPECT_EQ(select(SC_MINIMIZE, MF_STRING | MF_SYSMENU), "Reduce the window to an icon");
    EXPECT_EQ(select(SC_RESTORE, MF_STRING | MF_SYSMENU), "Restore the window to normal size");
    EXPECT_EQ(select(SC_TASKLIST, MF_STRING | MF_SYSMENU), "Activate Task List");
    ::SendMessageW(hwnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);  // the menu closed
    EXPECT_EQ(frame->GetMessageText(), "Ready");
    // Fly-by: the prompt of the toolbar button under the mouse, Ready when it leaves.
    CToolBar& tb = frame->ToolBar();
    tb.SendMessage(TB_SETHOTITEM, 2);
    EXPECT_EQ(frame->GetMessageText(), "Repair the selected files");
    tb.SendMessage(TB_SETHOTITEM, static_cast<WPARAM>(-1));
    EXPECT_EQ(frame->GetMessageText(), "Ready");
    // Indicators show their text exactly while their key is toggled on.
    frame->OnIdleUpdate();
    EXPECT_EQ(bar.GetPaneText(1), (::GetKeyState(VK_CAPITAL) & 1) ? "CAP" : "");
    EXPECT_EQ(bar.GetPaneText(2), (::GetKeyState(VK_NUMLOCK) & 1) ? "NUM" : "");
}

// ---------------------------------------------------------------- layout, focus, close

TEST_F(MainFrameTest, ResizePassesTheFramesClientSizeToThePanel) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    SIZE got = frame->Panel().GetLayoutSize();
    EXPECT_EQ(got.cx, client.right);
    EXPECT_EQ(got.cy, client.bottom);
    // The panel itself lies between the rebar and the status bar, so it is smaller.
    RECT panel{}, rebar{}, status{};
    ::GetWindowRect(frame->Panel().m_hWnd, &panel);
    ::GetWindowRect(frame->ReBar().m_hWnd, &rebar);
    ::GetWindowRect(frame->StatusBar().m_hWnd, &status);
    EXPECT_EQ(panel.top, rebar.bottom);
    EXPECT_EQ(panel.bottom, status.top);
    EXPECT_EQ(panel.right - panel.left, client.right);
    EXPECT_GT(rebar.bottom - rebar.top, 60);  // room for the 75-pixel buttons
    ::SetWindowPos(hwnd, nullptr, 0, 0, 700, 500, SWP_NOZORDER | SWP_NOMOVE);
    ::GetClientRect(hwnd, &client);
    got = frame->Panel().GetLayoutSize();
    EXPECT_EQ(got.cx, client.right);
    EXPECT_EQ(got.cy, client.bottom);
    // Minimizing passes the event on too, with zero size.
    ::ShowWindow(hwnd, SW_MINIMIZE);
    got = frame->Panel().GetLayoutSize();
    EXPECT_EQ(got.cx, 0);
    EXPECT_EQ(got.cy, 0);
    ::ShowWindow(hwnd, SW_RESTORE);
    got = frame->Panel().GetLayoutSize();
    EXPECT_EQ(got.cx, client.right);
    EXPECT_EQ(got.cy, client.bottom);
}

TEST_F(MainFrameTest, MovedToAScreenOfAnotherScalingItTakesTheSuggestedPlaceAndLaysOutAgain) {
    const UINT dpi = frame->GetDpi();
    RECT suggested{40, 30, 40 + 900, 30 + 700};
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    ::GetWindowRect(hwnd, &now);
    EXPECT_EQ(now.left, suggested.left);
    EXPECT_EQ(now.top, suggested.top);
    EXPECT_EQ(now.right, suggested.right);
    EXPECT_EQ(now.bottom, suggested.bottom);
    RECT client{};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(frame->Panel().GetLayoutSize().cx, client.right);
    EXPECT_EQ(frame->Panel().GetLayoutSize().cy, client.bottom);
    RECT button{};
    frame->ToolBar().SendMessage(TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.right - button.left, frame->Scale(60));
}

TEST_F(MainFrameTest, FocusGivenToTheFrameMovesOnToThePanel) {
    ::SetFocus(frame->ToolBar().m_hWnd);
    ::SetFocus(hwnd);
    EXPECT_EQ(::GetFocus(), frame->Panel().m_hWnd);
}

TEST_F(MainFrameTest, CloseIsRefusedFromTheRunsStartUntilItsFinalEvent) {
    // A real repair run of one presentation, paced as in the program.
    testing::ScratchDir scratch;
    const std::string deck = scratch.File("Deck.ppt", testing::SamplePresentation(1, true));
    CWizardView& panel = frame->Panel();
    const int row = panel.m_listFiles.InsertItem(LVIF_TEXT, 0, "Deck.ppt", 3);
    panel.m_listFiles.SetItemText(row, 1, deck);
    panel.m_listFiles.SetCheck(row, true);
    AfxGetApp()->m_pMainWnd = frame;
    DialogWatcher watcher;
    Command(ID_REPAIR_FILE);
    ASSERT_TRUE(panel.IsRunInProgress());
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    Command(ID_APP_EXIT);
    EXPECT_TRUE(::IsWindow(hwnd));
    ASSERT_EQ(watcher.shown.size(), 2u);
    for (const auto& box : watcher.shown) {
        EXPECT_EQ(box.caption, "Velmora Deckwright");
        EXPECT_EQ(box.text, "Repair or Save is in progress. Please wait for it to end");
        EXPECT_EQ(box.icon, ::LoadIconW(nullptr, IDI_WARNING));
    }
    // The run ends with its completion box; then the window closes at the first request.
    for (int i = 0; i < 1000 && panel.IsRunInProgress(); ++i) {
        WaitForMessage(std::chrono::milliseconds(10));
        PumpMessages();
    }
    ASSERT_FALSE(panel.IsRunInProgress());
    EXPECT_EQ(panel.m_nPage, CWizardView::PAGE_REPAIRED);
    EXPECT_EQ(watcher.shown.back().text, "Deckwright process Completed !!!");
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST_F(MainFrameTest, AMessageMapEntryCannotDisplaceTheFramesTooltips) {
    int tooltips = 0, clicks = 0;
    frame->OnMessage(WM_NOTIFY, [&](WPARAM, LPARAM lp) {
        const UINT code = reinterpret_cast<NMHDR*>(lp)->code;
        if (code == TTN_GETDISPINFOW) ++tooltips;
        if (code == static_cast<UINT>(NM_CLICK)) ++clicks;
        return 0;
    });
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = reinterpret_cast<HWND>(frame->ToolBar().SendMessage(TB_GETTOOLTIPS));
    info.hdr.idFrom = ID_ADD_FILE;
    info.hdr.code = TTN_GETDISPINFOW;
    ::SendMessageW(hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_EQ(Narrow(info.lpszText), "Add File to the list");
    EXPECT_EQ(tooltips, 0);
    NMHDR other{frame->ToolBar().m_hWnd, AFX_IDW_TOOLBAR, static_cast<UINT>(NM_CLICK)};
    ::SendMessageW(hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(clicks, 1) << "other notifications still reach the map";
}

}  // namespace
}  // namespace deckwright
