#include "app/main_frame.h"

#include <iterator>

#include "platform/ui/shell.h"
#include "res/resource.h"
#include "skin/artwork.h"
#include "version.h"

namespace deckwright {

namespace {

constexpr UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM,
                                ID_INDICATOR_SCRL};

struct ButtonCaption {
    int index;
    const char* text;
};
constexpr ButtonCaption kCaptions[] = {{0, "Add File"},  {1, "Remove"},  {2, "Repair File"},
                                       {3, "Save File"}, {4, "Setting"}, {5, "Help"}};

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// The toolbar's pictures: cells of one bitmap, 50 x 50 at 96 DPI, magenta transparent.
void BuildImageList(CImageList& list, UINT bitmapId, const CWnd& window) {
    CBitmap bitmap;
    LoadArtwork(bitmap, bitmapId, window.GetDpi(), true);
    const int cell = window.Scale(50);
    list.Create(cell, cell, ILC_COLORDDB | ILC_MASK, 13, 0);
    list.Add(bitmap, kMagenta);  // copies the pictures; the bitmap goes with this scope
}

}  // namespace

CMainFrame::CMainFrame(std::string settings_location)
    : m_wndView(m_dialogs, std::move(settings_location)) {
    OnMessage(WM_CREATE, [this](WPARAM, LPARAM) { return static_cast<LRESULT>(OnCreate()); });
    OnCommand(ID_HELP_CONTENTS, [this] { OnHelpContents(); });
    OnMessage(WM_DPICHANGED, [this](WPARAM, LPARAM lp) {
        return OnDpiChanged(*reinterpret_cast<const RECT*>(lp));
    });
}

bool CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!CFrameWnd::PreCreateWindow(cs)) return false;
    cs.dwExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
    cs.lpszClass = RegisterWndClass(0);
    return true;
}

int CMainFrame::OnCreate() {
    if (!m_wndView.Create(nullptr, "", WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{}, *this,
                          AFX_IDW_PANE_FIRST, nullptr)) {
        return -1;
    }
    if (!m_wndToolBar.CreateEx(*this, TBSTYLE_FLAT, WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP, RECT{},
                               AFX_IDW_TOOLBAR) ||
        !m_wndToolBar.LoadToolBar(IDR_MAINFRAME)) {
        return -1;
    }
    if (!m_wndReBar.Create(*this, RBS_BANDBORDERS,
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | CBRS_TOP,
                           AFX_IDW_REBAR)) {
        return -1;
    }
    // Captions and sizes before the band is added, so that the band takes the final size.
    if (!m_wndStatusBar.Create(*this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(kIndicators, static_cast<int>(std::size(kIndicators)))) {
        return -1;
    }
    m_wndStatusBar.SetPaneText(0, LoadResString(AFX_IDS_IDLEMESSAGE));

    // The big icon at the screen's scaling: 32 pixels at 96 DPI.
    SendMessage(WM_SETICON, ICON_BIG,
                reinterpret_cast<LPARAM>(::LoadImageW(AfxGetResourceHandle(),
                                                      MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                      Scale(32), Scale(32), LR_SHARED)));

    ApplyToolBarDpi();
    for (const ButtonCaption& c : kCaptions) m_wndToolBar.SetButtonText(c.index, c.text);
    m_wndToolBar.SetSizes(SIZE{Scale(60), Scale(75)}, SIZE{Scale(52), Scale(52)});

    if (!m_wndReBar.AddBar(m_wndToolBar, "", nullptr, RBBS_GRIPPERALWAYS | RBBS_FIXEDBMP)) {
        return -1;
    }
    SetWindowText(DECKWRIGHT_TITLE);
    m_wndToolBar.SetBarStyle(m_wndToolBar.GetBarStyle() | CBRS_TOOLTIPS | CBRS_FLYBY);
    return 0;
}

void CMainFrame::ApplyToolBarDpi() {
    BuildImageList(m_imagesNormal, IDB_TOOLBAR_NORMAL, *this);
    m_wndToolBar.SendMessage(TB_SETIMAGELIST, 0,
                             reinterpret_cast<LPARAM>(m_imagesNormal.m_hImageList));
    BuildImageList(m_imagesHot, IDB_TOOLBAR_HOT, *this);
    m_wndToolBar.SendMessage(TB_SETHOTIMAGELIST, 0,
                             reinterpret_cast<LPARAM>(m_imagesHot.m_hImageList));
}

LRESULT CMainFrame::OnDpiChanged(const RECT& suggested) {
    // Moved to a screen of another scaling: the pictures and sizes of that scaling, the
    // suggested place, and everything laid out again.
    ApplyToolBarDpi();
    m_wndToolBar.SetSizes(SIZE{Scale(60), Scale(75)}, SIZE{Scale(52), Scale(52)});
    m_wndReBar.SetBandChildSize(m_wndToolBar);
    if (m_wndView.m_hWnd) m_wndView.OnDpiChanged();
    ::SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RecalcLayout();
    const RECT client = GetClientRect();
    if (m_wndView.m_hWnd) m_wndView.LayoutControls(client.right, client.bottom);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

bool CMainFrame::OnCmdMsg(UINT id, int code) {
    // The panel first, then the frame's own map, then the application.
    if (m_wndView.m_hWnd && m_wndView.OnCmdMsg(id, code)) return true;
    return CFrameWnd::OnCmdMsg(id, code);
}

void CMainFrame::OnSize(UINT type, int cx, int cy) {
    CFrameWnd::OnSize(type, cx, cy);
    // The frame's client size, not the panel's: the panel places its controls from it.
    if (m_wndView.m_hWnd) m_wndView.LayoutControls(cx, cy);
}

void CMainFrame::OnSetFocus(HWND) {
    if (m_wndView.m_hWnd) m_wndView.SetFocus();
}

void CMainFrame::OnClose() {
    if (!m_wndView.m_hWnd || m_wndView.CanClose()) CFrameWnd::OnClose();
}

void CMainFrame::OnHelpContents() {
    // Beside the program, whatever folder the program was started from.
    ShellOpen(nullptr, "open", ProgramFolder() + "help.chm", SW_SHOWNORMAL);
}

}  // namespace deckwright
