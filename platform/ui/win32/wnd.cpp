#include "platform/ui/win32/wnd.h"

#include <cstdio>

#include "platform/utf.h"

namespace deckwright {

namespace {

constexpr wchar_t kObjectProp[] = L"Deckwright.CWnd";

}  // namespace

HINSTANCE AfxGetResourceHandle() {
    return ::GetModuleHandleW(nullptr);
}

std::string LoadResString(UINT id) {
    wchar_t buffer[1024];
    const int n = ::LoadStringW(AfxGetResourceHandle(), id, buffer, 1024);
    return n > 0 ? Narrow(std::wstring(buffer, static_cast<std::size_t>(n))) : std::string();
}

CWnd::~CWnd() {
    // A window still alive when its object goes would call into freed memory. A control's
    // handle is stale once its parent destroyed it, so the window must still be ours.
    if (m_hWnd && ::IsWindow(m_hWnd) && FromHandle(m_hWnd) == this) {
        HWND hwnd = m_hWnd;
        DetachFromHandle();
        ::DestroyWindow(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProp)) : nullptr;
}

void CWnd::Attach(HWND hwnd) {
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kObjectProp, this);
}

void CWnd::DetachFromHandle() {
    if (m_hWnd) ::RemovePropW(m_hWnd, kObjectProp);
    m_hWnd = nullptr;
}

const wchar_t* CWnd::RegisterWndClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
    // One class per combination, named after it, as the class library does.
    static thread_local wchar_t name[96];
    std::swprintf(name, 96, L"Deckwright:%x:%p:%p:%p", style, static_cast<void*>(cursor),
                  static_cast<void*>(background), static_cast<void*>(icon));
    WNDCLASSW wc{};
    HINSTANCE instance = AfxGetResourceHandle();
    if (!::GetClassInfoW(instance, name, &wc)) {
        wc = WNDCLASSW{};
        wc.style = style;
        wc.lpfnWndProc = &CWnd::WndProc;
        wc.hInstance = instance;
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = name;
        ::RegisterClassW(&wc);
    }
    return name;
}

bool CWnd::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!cs.lpszClass) {
        cs.lpszClass = RegisterWndClass(CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                                        reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    }
    return true;
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const std::string& title, DWORD style,
                    const RECT& rect, HWND parent, UINT_PTR idOrMenu) {
    const std::wstring wtitle = Widen(title);
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = wtitle.c_str();
    cs.style = style;
    cs.x = rect.left;
    cs.y = rect.top;
    // CW_USEDEFAULT as the left edge asks for the default position and size.
    const bool defaultPlace = rect.left == static_cast<LONG>(CW_USEDEFAULT);
    cs.cx = defaultPlace ? static_cast<int>(CW_USEDEFAULT) : rect.right - rect.left;
    cs.cy = defaultPlace ? static_cast<int>(CW_USEDEFAULT) : rect.bottom - rect.top;
    cs.hwndParent = parent;
    cs.hMenu = reinterpret_cast<HMENU>(idOrMenu);
    cs.hInstance = AfxGetResourceHandle();
    cs.lpCreateParams = this;
    if (!PreCreateWindow(cs)) return false;
    // The class name may live in a thread-local buffer that the next registration reuses.
    const std::wstring cls = HIWORD(reinterpret_cast<UINT_PTR>(cs.lpszClass)) ? cs.lpszClass : L"";
    const wchar_t* clsArg = cls.empty() ? cs.lpszClass : cls.c_str();

    bool deleted = false;
    m_pbDeleted = &deleted;
    HWND hwnd = ::CreateWindowExW(cs.dwExStyle, clsArg, cs.lpszName, cs.style, cs.x, cs.y, cs.cx,
                                  cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    if (deleted) return false;  // died in its creation; the object may be gone too
    m_pbDeleted = nullptr;
    return hwnd != nullptr;
}

bool CWnd::CreateControl(const wchar_t* className, const std::string& text, DWORD style,
                         DWORD exStyle, const RECT& rect, HWND parent, UINT id) {
    HWND hwnd = ::CreateWindowExW(exStyle, className, Widen(text).c_str(), style, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  AfxGetResourceHandle(), nullptr);
    if (!hwnd) return false;
    Attach(hwnd);
    return true;
}

void CWnd::DestroyWindow() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

void CWnd::OnMessage(UINT message, MessageHandler handler) {
    messages_[message] = std::move(handler);
}

void CWnd::OnCommand(UINT id, CommandHandler handler) {
    commands_[id] = std::move(handler);
}

bool CWnd::OnCmdMsg(UINT id, int code) {
    if (code != 0) return false;  // menu, accelerator or button click only
    auto it = commands_.find(id);
    if (it == commands_.end()) return false;
    it->second();
    return true;
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

bool CWnd::Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) {
    if (message == WM_COMMAND) {
        HWND control = reinterpret_cast<HWND>(lp);
        // Accelerators (1) and menus (0) count as commands; controls give their own code.
        const int code = control ? HIWORD(wp) : 0;
        if (OnCmdMsg(LOWORD(wp), code)) {
            *result = 0;
            return true;
        }
    } else if (message == WM_DRAWITEM) {
        const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        CWnd* child = dis && dis->CtlType != ODT_MENU ? FromHandle(dis->hwndItem) : nullptr;
        if (child && child->OnChildNotify(message, wp, lp, result)) return true;
    }
    auto it = messages_.find(message);
    if (it == messages_.end()) return false;
    *result = it->second(wp, lp);
    return true;
}

LRESULT CALLBACK CWnd::WndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    CWnd* self = FromHandle(hwnd);
    if (!self && message == WM_NCCREATE) {
        self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self) self->Attach(hwnd);
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wp, lp);

    LRESULT result = 0;
    bool handled = false;
    try {
        handled = self->Dispatch(message, wp, lp, &result);
    } catch (...) {
        // Nothing may unwind through the system's code; the message counts as unhandled.
        handled = false;
    }
    if (!handled) result = ::DefWindowProcW(hwnd, message, wp, lp);
    if (message == WM_NCDESTROY) {
        self->DetachFromHandle();
        bool* diedInCreation = self->m_pbDeleted;
        self->m_pbDeleted = nullptr;
        if (diedInCreation) *diedInCreation = true;
        self->PostNcDestroy();
    }
    return result;
}

void CWnd::MoveWindow(int x, int y, int width, int height, bool repaint) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint ? TRUE : FALSE);
}

void CWnd::SetWindowText(const std::string& text) {
    ::SetWindowTextW(m_hWnd, Widen(text).c_str());
}

std::string CWnd::GetWindowText() const {
    const int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hWnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return Narrow(text);
}

RECT CWnd::GetWindowRect() const {
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    return r;
}

RECT CWnd::GetClientRect() const {
    RECT r{};
    ::GetClientRect(m_hWnd, &r);
    return r;
}

}  // namespace deckwright
