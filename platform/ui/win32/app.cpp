#include "platform/ui/win32/app.h"

#include <commctrl.h>

#include "platform/ui/afx_ids.h"
#include "platform/ui/win32/frame.h"

namespace deckwright {

namespace {
CWinApp* g_app = nullptr;
}

CWinApp* AfxGetApp() {
    return g_app;
}

CWinApp::CWinApp() {
    g_app = this;
    commands_.OnCommand(ID_APP_EXIT, [this] { OnAppExit(); });
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

void CWinApp::Enable3dControls() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_COOL_CLASSES | ICC_LISTVIEW_CLASSES |
                                             ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
}

void CWinApp::OnCommand(UINT id, CWnd::CommandHandler handler) {
    commands_.OnCommand(id, std::move(handler));
}

bool CWinApp::OnCmdMsg(UINT id, int code) {
    return commands_.OnCmdMsg(id, code);
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->SendMessage(WM_CLOSE);
}

void CWinApp::OnIdle() {
    if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->OnIdleUpdate();
}

int CWinApp::Run() {
    MSG msg{};
    for (;;) {
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) OnIdle();
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (m_pMainWnd && m_pMainWnd->PreTranslateMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace deckwright
