// CWnd over Win32: the object is found from its handle through a window property.
#include "platform/ui/wnd.h"

#include <cstdio>

#include "platform/utf.h"

namespace deckwright {

namespace {

constexpr wchar_t kObjectProp[] = L"Deckwright.CWnd";

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);

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
        wc.lpfnWndProc = &WndProc;
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
    cs.style = static_cast<LONG>(style);
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
    HWND hwnd =
        ::CreateWindowExW(cs.dwExStyle, clsArg, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                          cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
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

namespace {

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    CWnd* self = CWnd::FromHandle(hwnd);
    if (!self && message == WM_NCCREATE) {
        self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self) self->Attach(hwnd);
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wp, lp);
    bool handled = false;
    return CWnd::RunDispatch(self, hwnd, message, wp, lp, &::DefWindowProcW, &handled);
}

}  // namespace

void CWnd::MoveWindow(int x, int y, int width, int height, bool repaint) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint ? TRUE : FALSE);
}

void CWnd::ShowWindow(int show) {
    ::ShowWindow(m_hWnd, show);
}

bool CWnd::IsWindowVisible() const {
    return ::IsWindowVisible(m_hWnd) != FALSE;
}

void CWnd::SetFocus() {
    ::SetFocus(m_hWnd);
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

UINT CWnd::GetDpi() const {
    // GetDpiForWindow where the system has it (Windows 10 1607 and later); the system's DPI
    // before that, as on older Wine.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto get_dpi_for_window =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (get_dpi_for_window && m_hWnd) {
        if (const UINT dpi = get_dpi_for_window(m_hWnd)) return dpi;
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void CWnd::RedrawWindow(UINT flags) {
    ::RedrawWindow(m_hWnd, nullptr, nullptr, flags);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wp, LPARAM lp) const {
    return ::SendMessageW(m_hWnd, message, wp, lp);
}

LRESULT SendWindowMessage(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    return ::SendMessageW(hwnd, message, wp, lp);
}

bool CWnd::PostMessage(UINT message, WPARAM wp, LPARAM lp) const {
    return ::PostMessageW(m_hWnd, message, wp, lp) != FALSE;
}

HWND CWnd::GetDlgItem(int id) const {
    return ::GetDlgItem(m_hWnd, id);
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void WaitForMessage(std::chrono::milliseconds timeout) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout.count()),
                                QS_ALLINPUT);
}

void PumpSentMessagesUntil(const std::function<bool()>& done) {
    MSG msg;
    while (!done()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        // Peeking delivers the messages sent from other threads, and only those here.
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace deckwright
