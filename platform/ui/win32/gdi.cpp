#include "platform/ui/gdi.h"

#include "platform/ui/wnd.h"
#include "platform/utf.h"

namespace deckwright {

void CGdiObject::DeleteObject() {
    if (m_hObject) ::DeleteObject(m_hObject);
    m_hObject = nullptr;
}

bool CFont::CreateFont(int height, int width, int escapement, int orientation, int weight,
                       BYTE italic, BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                       BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily,
                       const std::string& face) {
    return Attach(::CreateFontW(height, width, escapement, orientation, weight, italic, underline,
                                strikeOut, charSet, outPrecision, clipPrecision, quality,
                                pitchAndFamily, Widen(face).c_str()));
}

bool CBitmap::LoadBitmap(UINT id) {
    return Attach(::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id)));
}

bool CBitmap::CreateCompatibleBitmap(CDC& dc, int width, int height) {
    return Attach(::CreateCompatibleBitmap(dc.m_hDC, width, height));
}

SIZE CBitmap::GetSize() const {
    BITMAP bm{};
    if (!m_hObject || !::GetObjectW(m_hObject, sizeof bm, &bm)) return SIZE{0, 0};
    return SIZE{bm.bmWidth, bm.bmHeight};
}

CDC::~CDC() {
    if (owned_ && m_hDC) ::DeleteDC(m_hDC);
}

bool CDC::CreateCompatibleDC(CDC* target) {
    if (owned_ && m_hDC) ::DeleteDC(m_hDC);
    m_hDC = ::CreateCompatibleDC(target ? target->m_hDC : nullptr);
    owned_ = m_hDC != nullptr;
    return owned_;
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF color) {
    // The class library's way: an opaque ExtTextOut fills without making a brush.
    const COLORREF old = ::SetBkColor(m_hDC, color);
    const RECT r{x, y, x + width, y + height};
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

int CDC::DrawText(const std::string& text, RECT rect, UINT format) {
    std::wstring w = Widen(text);
    return ::DrawTextW(m_hDC, w.c_str(), static_cast<int>(w.size()), &rect, format);
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC& source, int sx, int sy, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, source.m_hDC, sx, sy, rop) != FALSE;
}

bool CDC::StretchBlt(int x, int y, int width, int height, CDC& source, int sx, int sy,
                     int sourceWidth, int sourceHeight, bool keepColours) {
    const int oldMode = ::SetStretchBltMode(m_hDC, keepColours ? COLORONCOLOR : HALFTONE);
    POINT origin{};
    if (!keepColours) ::SetBrushOrgEx(m_hDC, 0, 0, &origin);  // as HALFTONE asks
    const BOOL done = ::StretchBlt(m_hDC, x, y, width, height, source.m_hDC, sx, sy, sourceWidth,
                                   sourceHeight, SRCCOPY);
    ::SetStretchBltMode(m_hDC, oldMode);
    return done != FALSE;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object) {
    return ::SelectObject(m_hDC, object);
}

COLORREF CDC::SetTextColor(COLORREF color) {
    return ::SetTextColor(m_hDC, color);
}

COLORREF CDC::SetBkColor(COLORREF color) {
    return ::SetBkColor(m_hDC, color);
}

void CDC::MoveTo(int x, int y) {
    ::MoveToEx(m_hDC, x, y, nullptr);
}

void CDC::LineTo(int x, int y) {
    ::LineTo(m_hDC, x, y);
}

COLORREF CDC::GetPixel(int x, int y) const {
    return ::GetPixel(m_hDC, x, y);
}

CClientDC::CClientDC(HWND hwnd) : CDC(::GetDC(hwnd)), hwnd_(hwnd) {}

CClientDC::~CClientDC() {
    ::ReleaseDC(hwnd_, m_hDC);
}

CPaintDC::CPaintDC(HWND hwnd) : hwnd_(hwnd) {
    m_hDC = ::BeginPaint(hwnd, &m_ps);
}

CPaintDC::~CPaintDC() {
    ::EndPaint(hwnd_, &m_ps);
}

}  // namespace deckwright
