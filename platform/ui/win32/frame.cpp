#include "platform/ui/win32/frame.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/ui/afx_ids.h"
#include "platform/ui/win32/app.h"
#include "platform/ui/win32/bars.h"
#include "platform/utf.h"

namespace deckwright {

namespace {

std::string Before(const std::string& s, char c) {
    return s.substr(0, s.find(c));
}

std::string After(const std::string& s, char c) {
    const std::size_t at = s.find(c);
    return at == std::string::npos ? std::string() : s.substr(at + 1);
}

}  // namespace

CFrameWnd::CFrameWnd() = default;

bool CFrameWnd::Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) {
    // The frame's own behaviour comes first and is not in the message map, so that nothing a
    // derived class maps can displace it; derived classes change it through the virtuals.
    *result = 0;
    switch (message) {
        case WM_SIZE:
            OnSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
            return true;
        case WM_SETFOCUS:
            OnSetFocus(reinterpret_cast<HWND>(wp));
            return true;
        case WM_CLOSE:
            OnClose();
            return true;
        case WM_DESTROY:
            if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) ::PostQuitMessage(0);
            break;  // a derived class may still want to know
        case WM_MENUSELECT:
            OnMenuSelect(LOWORD(wp), HIWORD(wp), lp);
            return true;
        case WM_EXITMENULOOP:
            SetMessageText(LoadResString(AFX_IDS_IDLEMESSAGE));
            return true;
        case WM_NOTIFY:
            if (OnBarNotify(reinterpret_cast<NMHDR*>(lp))) return true;
            break;
        default:
            break;
    }
    return CWnd::Dispatch(message, wp, lp, result);
}

void CFrameWnd::OnMenuSelect(UINT item, UINT flags, LPARAM menu) {
    if (flags == 0xFFFF && menu == 0) {
        SetMessageText(LoadResString(AFX_IDS_IDLEMESSAGE));  // the menu closed
    } else if (flags & (MF_POPUP | MF_SEPARATOR)) {
        SetMessageText("");
    } else {
        SetMessageText(GetPrompt(item));
    }
}

CFrameWnd::~CFrameWnd() {
    if (accelerators_) ::DestroyAcceleratorTable(accelerators_);
}

bool CFrameWnd::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!cs.lpszClass) {
        cs.lpszClass = RegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                                        reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    }
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return true;
}

bool CFrameWnd::LoadFrame(UINT id, DWORD style, CWnd* parent) {
    HINSTANCE module = AfxGetResourceHandle();
    const std::string title = Before(LoadResString(id), '\n');
    if (!accelerators_) accelerators_ = ::LoadAcceleratorsW(module, MAKEINTRESOURCEW(id));
    HMENU menu = ::LoadMenuW(module, MAKEINTRESOURCEW(id));
    // The platform's default position and size.
    const RECT rect{CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
    bool created = CreateEx(0, nullptr, title, style & ~FWS_ADDTOTITLE, rect,
                            parent ? parent->m_hWnd : nullptr, reinterpret_cast<UINT_PTR>(menu));
    // A window that failed in its creation does not destroy the menu it was given.
    if (!created && menu) ::DestroyMenu(menu);
    return created;
}

void CFrameWnd::PostNcDestroy() {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
    if (m_bAutoDelete) delete this;
}

bool CFrameWnd::OnCmdMsg(UINT id, int code) {
    if (CWnd::OnCmdMsg(id, code)) return true;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, code);
}

bool CFrameWnd::PreTranslateMessage(MSG& msg) {
    if (!accelerators_ || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    return ::TranslateAcceleratorW(m_hWnd, accelerators_, &msg) != 0;
}

void CFrameWnd::OnIdleUpdate() {
    if (auto* bar = dynamic_cast<CStatusBar*>(FromHandle(GetDlgItem(AFX_IDW_STATUS_BAR)))) {
        bar->UpdateIndicators();
    }
}

void CFrameWnd::SetMessageText(const std::string& text) {
    if (auto* bar = dynamic_cast<CStatusBar*>(FromHandle(GetDlgItem(AFX_IDW_STATUS_BAR)))) {
        bar->SetPaneText(0, text);
    }
}

std::string CFrameWnd::GetMessageText() const {
    auto* bar = dynamic_cast<CStatusBar*>(FromHandle(GetDlgItem(AFX_IDW_STATUS_BAR)));
    return bar ? bar->GetPaneText(0) : std::string();
}

std::string CFrameWnd::GetPrompt(UINT id) const {
    // System-menu commands (SC_SIZE and up) have their prompts at AFX_IDS_SCFIRST, one per 16.
    if (id >= 0xF000) id = AFX_IDS_SCFIRST + (id - 0xF000) / 16;
    return Before(LoadResString(id), '\n');
}

std::string CFrameWnd::GetTooltip(UINT id) const {
    return After(LoadResString(id), '\n');
}

void CFrameWnd::OnSize(UINT type, int, int) {
    if (type != SIZE_MINIMIZED) RecalcLayout();
}

void CFrameWnd::OnSetFocus(HWND) {
    if (HWND pane = GetDlgItem(AFX_IDW_PANE_FIRST)) ::SetFocus(pane);
}

void CFrameWnd::OnClose() {
    DestroyWindow();
}

void CFrameWnd::RecalcLayout() {
    RECT client = GetClientRect();
    if (HWND rebar = GetDlgItem(AFX_IDW_REBAR)) {
        ::SendMessageW(rebar, WM_SIZE, 0, 0);  // aligns itself at the top, full width
        RECT r{};
        ::GetWindowRect(rebar, &r);
        if (::IsWindowVisible(rebar)) client.top += r.bottom - r.top;
    }
    if (auto* bar = dynamic_cast<CStatusBar*>(FromHandle(GetDlgItem(AFX_IDW_STATUS_BAR)))) {
        bar->Resize();
        const RECT r = bar->GetWindowRect();
        if (bar->IsWindowVisible()) client.bottom -= r.bottom - r.top;
    }
    if (HWND pane = GetDlgItem(AFX_IDW_PANE_FIRST)) {
        ::MoveWindow(pane, client.left, client.top, std::max<LONG>(0, client.right - client.left),
                     std::max<LONG>(0, client.bottom - client.top), TRUE);
    }
}

bool CFrameWnd::OnBarNotify(NMHDR* header) {
    if (!header) return false;
    HWND toolbarHwnd = GetDlgItem(AFX_IDW_TOOLBAR);
    if (!toolbarHwnd) {
        if (HWND rebar = GetDlgItem(AFX_IDW_REBAR))
            toolbarHwnd = ::GetDlgItem(rebar, AFX_IDW_TOOLBAR);
    }
    auto* toolbar = dynamic_cast<CToolBar*>(FromHandle(toolbarHwnd));
    const DWORD barStyle = toolbar ? toolbar->GetBarStyle() : 0;
    if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        if (!(barStyle & CBRS_TOOLTIPS) || (info->uFlags & TTF_IDISHWND)) return true;
        tooltip_ = Widen(GetTooltip(static_cast<UINT>(header->idFrom)));
        info->lpszText = tooltip_.data();
        info->hinst = nullptr;
        return true;
    }
    if (header->code == TBN_HOTITEMCHANGE && toolbar && header->hwndFrom == toolbar->m_hWnd) {
        // Fly-by: the prompt of the button under the mouse, the idle text when it leaves.
        if (!(barStyle & CBRS_FLYBY)) return true;
        const auto* hot = reinterpret_cast<NMTBHOTITEM*>(header);
        if (hot->dwFlags & HICF_LEAVING) {
            SetMessageText(LoadResString(AFX_IDS_IDLEMESSAGE));
        } else {
            SetMessageText(GetPrompt(static_cast<UINT>(hot->idNew)));
        }
        return true;
    }
    return false;
}

}  // namespace deckwright
