#include "tests/gui/gui_support.h"

#include <cstdio>

#include "platform/utf.h"

namespace deckwright::testing {

namespace {
DialogWatcher* g_watcher = nullptr;

std::string TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(hwnd, buffer, 1024);
    return Narrow(buffer);
}
}  // namespace

DialogWatcher::DialogWatcher(std::function<void(HWND)> inspect, int answer)
    : inspect_(std::move(inspect)), answer_(answer) {
    g_watcher = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, &DialogWatcher::Hook, nullptr, ::GetCurrentThreadId());
}

DialogWatcher::~DialogWatcher() {
    ::UnhookWindowsHookEx(hook_);
    g_watcher = nullptr;
}

LRESULT CALLBACK DialogWatcher::Hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && g_watcher) {
        HWND hwnd = reinterpret_cast<HWND>(wp);
        wchar_t cls[64] = {};
        ::GetClassNameW(hwnd, cls, 64);
        if (std::wstring(cls) == L"#32770" && !::GetPropW(hwnd, L"Deckwright.Seen")) {
            ::SetPropW(hwnd, L"Deckwright.Seen", reinterpret_cast<HANDLE>(1));
            ShownDialog d;
            d.caption = TextOf(hwnd);
            if (HWND text = ::GetDlgItem(hwnd, 0xFFFF)) d.text = TextOf(text);
            // The message box's icon is the one static control showing an icon.
            for (HWND child = ::GetWindow(hwnd, GW_CHILD); child;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                if (auto icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0))) {
                    d.icon = icon;
                }
            }
            g_watcher->shown.push_back(d);
            if (g_watcher->inspect_) g_watcher->inspect_(hwnd);
            ::PostMessageW(hwnd, WM_COMMAND, static_cast<WPARAM>(g_watcher->answer_), 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

Surface::Surface(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_.CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_.m_hDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = ::SelectObject(dc_.m_hDC, bitmap_);
    dc_.FillSolidRect(0, 0, width, height, fill);
}

Surface::~Surface() {
    ::SelectObject(dc_.m_hDC, old_);
    ::DeleteObject(bitmap_);
}

COLORREF GradientBand(int y, int height) {
    const float q = static_cast<float>(height) * 0.25f;
    float g = 240.0f, b = 240.0f;
    for (int band = 0; band <= y / 4; ++band) {
        g = static_cast<float>(g - 94.0f / q);
        b = static_cast<float>(b - 188.0f / q);
    }
    return RGB(240, static_cast<int>(g) & 0xFF, static_cast<int>(b) & 0xFF);
}

std::string Hex(COLORREF c) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "RGB(%d, %d, %d)", GetRValue(c), GetGValue(c),
                  GetBValue(c));
    return buffer;
}

}  // namespace deckwright::testing
