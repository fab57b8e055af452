#include "platform/ui/win32/bars.h"

#include <algorithm>

#include "platform/ui/afx_ids.h"
#include "platform/utf.h"

namespace deckwright {

CImageList::~CImageList() {
    if (m_hImageList) ::ImageList_Destroy(m_hImageList);
}

bool CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    if (m_hImageList) ::ImageList_Destroy(m_hImageList);
    m_hImageList = ::ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
}

int CImageList::Add(CBitmap& bitmap, COLORREF mask) {
    if (!m_hImageList || !bitmap.m_hObject) return -1;
    return ::ImageList_AddMasked(m_hImageList, bitmap.handle(), mask);
}

int CImageList::GetImageCount() const {
    return m_hImageList ? ::ImageList_GetImageCount(m_hImageList) : 0;
}

bool CToolBar::CreateEx(CWnd& parent, DWORD ctrlStyle, DWORD style, const RECT& borders, UINT id) {
    (void)borders;  // the rebar band gives the spacing
    m_dwStyle = style & kBarStyleBits;
    // Always made with tooltips; the bar style decides whether the frame answers them. The
    // rebar places it, so it neither aligns nor sizes itself.
    const DWORD windowStyle = (style & ~kBarStyleBits) | ctrlStyle | TBSTYLE_TOOLTIPS |
                              CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
    if (!CreateControl(TOOLBARCLASSNAMEW, "", windowStyle, 0, RECT{}, parent.m_hWnd, id)) {
        return false;
    }
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    // Notifications (tooltips, hot item) go to the frame even when a rebar holds the bar.
    SendMessage(TB_SETPARENT, reinterpret_cast<WPARAM>(parent.m_hWnd));
    return true;
}

bool CToolBar::LoadToolBar(UINT id) {
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found =
        ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(RT_TOOLBAR_LAYOUT));
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* words = loaded ? static_cast<const WORD*>(::LockResource(loaded)) : nullptr;
    const DWORD bytes = found ? ::SizeofResource(module, found) : 0;
    // version 1, image width, image height, count, then count command ids
    if (!words || bytes < 8 || words[0] != 1 || bytes < 8u + 2u * words[3]) return false;
    const int width = words[1], height = words[2], count = words[3];

    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(width, height));
    TBADDBITMAP bitmap{module, id};
    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON b{};
        b.idCommand = words[4 + i];
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = b.idCommand == ID_SEPARATOR ? BTNS_SEP : BTNS_BUTTON;
        b.iBitmap = b.idCommand == ID_SEPARATOR ? 0 : image++;
        b.iString = -1;
        buttons.push_back(b);
    }
    if (SendMessage(TB_ADDBITMAP, static_cast<WPARAM>(image), reinterpret_cast<LPARAM>(&bitmap)) ==
        -1) {
        return false;
    }
    return SendMessage(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())) !=
           FALSE;
}

bool CToolBar::SetButtonText(int index, const std::string& text) {
    std::wstring w = Widen(text);
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT | TBIF_BYINDEX;
    info.pszText = w.data();
    return SendMessage(TB_SETBUTTONINFOW, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(&info)) != FALSE;
}

std::string CToolBar::GetButtonText(int index) const {
    wchar_t buffer[256] = {};
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT | TBIF_BYINDEX;
    info.pszText = buffer;
    info.cchText = 256;
    if (SendMessage(TB_GETBUTTONINFOW, static_cast<WPARAM>(index),
                    reinterpret_cast<LPARAM>(&info)) == -1) {
        return {};
    }
    return Narrow(buffer);
}

void CToolBar::SetSizes(SIZE button, SIZE image) {
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(image.cx, image.cy));
    SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(button.cx, button.cy));
    SendMessage(TB_AUTOSIZE);
}

UINT CToolBar::GetItemID(int index) const {
    TBBUTTON b{};
    if (!SendMessage(TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&b))) {
        return 0;
    }
    return static_cast<UINT>(b.idCommand);
}

SIZE CToolBar::GetBarSize() const {
    SIZE size{};
    SendMessage(TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    return size;
}

bool CReBar::Create(CWnd& parent, DWORD ctrlStyle, DWORD style, UINT id) {
    // CBRS_TOP in the low word is the class library's; the control aligns itself at the top.
    const DWORD windowStyle = (style & ~kBarStyleBits) | ctrlStyle | CCS_TOP | CCS_NODIVIDER;
    return CreateControl(REBARCLASSNAMEW, "", windowStyle, 0, RECT{}, parent.m_hWnd, id);
}

bool CReBar::AddBar(CToolBar& bar, const std::string& text, HBITMAP background, UINT bandStyle) {
    std::wstring w = Widen(text);
    const SIZE size = bar.GetBarSize();
    REBARBANDINFOW band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE;
    band.fStyle = bandStyle;
    band.hwndChild = bar.m_hWnd;
    band.cxMinChild = static_cast<UINT>(size.cx);
    band.cyMinChild = static_cast<UINT>(size.cy);
    band.cx = static_cast<UINT>(size.cx);
    if (!text.empty()) {
        band.fMask |= RBBIM_TEXT;
        band.lpText = w.data();
    }
    if (background) {
        band.fMask |= RBBIM_BACKGROUND;
        band.hbmBack = background;
    }
    return SendMessage(RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band)) !=
           FALSE;
}

void CReBar::SetBandChildSize(CToolBar& bar) {
    const SIZE size = bar.GetBarSize();
    REBARBANDINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = RBBIM_CHILDSIZE | RBBIM_SIZE;
    info.cxMinChild = static_cast<UINT>(size.cx);
    info.cyMinChild = static_cast<UINT>(size.cy);
    info.cx = static_cast<UINT>(size.cx);
    SendMessage(RB_SETBANDINFOW, 0, reinterpret_cast<LPARAM>(&info));  // its one band
}

bool CStatusBar::Create(CWnd& parent, DWORD style, UINT id) {
    m_dwStyle = style & kBarStyleBits;
    const DWORD windowStyle = (style & ~kBarStyleBits) | SBARS_SIZEGRIP;
    return CreateControl(STATUSCLASSNAMEW, "", windowStyle, 0, RECT{}, parent.m_hWnd, id);
}

bool CStatusBar::SetIndicators(const UINT* ids, int count) {
    ids_.assign(ids, ids + count);
    // Each indicator is as wide as its text; the message pane takes the rest.
    std::vector<int> widths(ids_.size());
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (ids_[i] == ID_SEPARATOR) continue;
        const std::string text = LoadResString(ids_[i]);
        if (text.empty()) {
            ::SelectObject(dc, old);
            ::ReleaseDC(m_hWnd, dc);
            return false;
        }
        std::wstring w = Widen(text);
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &extent);
        widths[i] = extent.cx + 12;
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    widths_.swap(widths);
    Resize();
    return true;
}

void CStatusBar::Resize() {
    if (ids_.empty()) return;
    SendMessage(WM_SIZE);  // the bar places itself at the bottom of its parent
    // Parts are given by their right edges. The indicators keep their widths at the right
    // (left of the size grip, the last one reaching the edge); the message pane takes the rest.
    const RECT client = GetClientRect();
    int indicators = 0;
    for (std::size_t k = 1; k < widths_.size(); ++k) indicators += widths_[k];
    std::vector<int> edges(ids_.size());
    int right = client.right - ::GetSystemMetrics(SM_CXVSCROLL) - indicators;
    for (std::size_t k = 0; k < ids_.size(); ++k) {
        if (k > 0) right += widths_[k];
        edges[k] = k + 1 == ids_.size() ? -1 : std::max(right, 0);
    }
    SendMessage(SB_SETPARTS, ids_.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void CStatusBar::SetPaneText(int index, const std::string& text) {
    SendMessage(SB_SETTEXTW, static_cast<WPARAM>(index),
                reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

std::string CStatusBar::GetPaneText(int index) const {
    const LRESULT length = SendMessage(SB_GETTEXTLENGTHW, static_cast<WPARAM>(index));
    std::wstring text(static_cast<std::size_t>(LOWORD(length)) + 1, L'\0');
    SendMessage(SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(length));
    return Narrow(text);
}

void CStatusBar::UpdateIndicators() {
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        int key = 0;
        switch (ids_[i]) {
            case ID_INDICATOR_CAPS:
                key = VK_CAPITAL;
                break;
            case ID_INDICATOR_NUM:
                key = VK_NUMLOCK;
                break;
            case ID_INDICATOR_SCRL:
                key = VK_SCROLL;
                break;
            default:
                continue;
        }
        const bool on = (::GetKeyState(key) & 1) != 0;
        const std::string text = on ? LoadResString(ids_[i]) : std::string();
        if (GetPaneText(static_cast<int>(i)) != text) SetPaneText(static_cast<int>(i), text);
    }
}

}  // namespace deckwright
