#include "panel/wizard_view.h"

#include "platform/ui/win32/gdi.h"
#include "platform/ui/win32/shell.h"
#include "skin/gradient.h"

namespace deckwright {

CWizardView::CWizardView() {
    OnMessage(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) {
        CDC dc(reinterpret_cast<HDC>(wp));
        GradientBackground(dc, *this);
        return 1;
    });
}

CWizardView::~CWizardView() = default;

bool CWizardView::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    cs.style &= ~WS_BORDER;
    cs.lpszClass =
        RegisterWndClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_ARROW),
                         reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
    return true;
}

bool CWizardView::Create(const wchar_t* className, const std::string& windowName, DWORD style,
                         const RECT& rect, CWnd& parent, UINT id, void*) {
    return CreateEx(0, className, windowName, style, rect, parent.m_hWnd, id);
}

void CWizardView::LayoutControls(int cx, int cy) {
    m_sizeLayout = SIZE{cx, cy};
}

bool CWizardView::CanClose() {
    if (!m_bRunInProgress) return true;
    ShowMessageBox(m_hWnd, "Repair or Save is in progress. Please wait for it to end",
                   "Velmora Deckwright", MB_ICONWARNING);
    return false;
}

}  // namespace deckwright
