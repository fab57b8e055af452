#pragma once

#include <string>

#include "platform/ui/win_types.h"

namespace deckwright {

// Owners of drawing handles, over GDI (platform/ui/win32) or recording what is drawn
// (platform/ui/headless). Each is made inside the handler that draws with it and deletes its
// handle when it goes. A font or bitmap must be deselected before its owner goes: declare a
// CSelect after the object it selects, so that it is undone first.
class CGdiObject {
  public:
    CGdiObject() = default;
    virtual ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ m_hObject = nullptr;
    bool Attach(HGDIOBJ handle);
    HGDIOBJ Detach();
    void DeleteObject();
};

class CFont : public CGdiObject {
  public:
    // CreateFont with every field given; the program's one form of request is in skin/.
    bool CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                    BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision,
                    BYTE clipPrecision, BYTE quality, BYTE pitchAndFamily, const std::string& face);
    HFONT handle() const { return static_cast<HFONT>(m_hObject); }
};

class CDC;

class CBitmap : public CGdiObject {
  public:
    // Loads a bitmap resource of the program's own module by its numeric id.
    bool LoadBitmap(UINT id);
    bool CreateCompatibleBitmap(CDC& dc, int width, int height);
    SIZE GetSize() const;
    HBITMAP handle() const { return static_cast<HBITMAP>(m_hObject); }
};

// A drawing surface. Owns its context only when made by CreateCompatibleDC.
class CDC {
  public:
    CDC() = default;
    explicit CDC(HDC hdc) : m_hDC(hdc) {}  // borrows a context
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    bool CreateCompatibleDC(CDC* target);

    HGDIOBJ SelectObject(HGDIOBJ object);
    COLORREF SetTextColor(COLORREF color);
    COLORREF SetBkColor(COLORREF color);
    void FillSolidRect(int x, int y, int width, int height, COLORREF color);
    int DrawText(const std::string& text, RECT rect, UINT format);
    bool BitBlt(int x, int y, int width, int height, CDC& source, int sx, int sy, DWORD rop);
    // Copies the source rectangle into the destination rectangle, scaled, colours averaged
    // (halftone) or, with keepColours, each pixel one of the source's (what a masked picture
    // needs).
    bool StretchBlt(int x, int y, int width, int height, CDC& source, int sx, int sy,
                    int sourceWidth, int sourceHeight, bool keepColours);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    COLORREF GetPixel(int x, int y) const;

  private:
    bool owned_ = false;
};

// Begins the paint of a window when made and ends it when it goes.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(HWND hwnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

  private:
    HWND hwnd_;
};

// The client area's context, outside any paint.
class CClientDC : public CDC {
  public:
    explicit CClientDC(HWND hwnd);
    ~CClientDC() override;

  private:
    HWND hwnd_;
};

// Selects an object into a surface and selects the previous one back when it goes.
class CSelect {
  public:
    CSelect(CDC& dc, CGdiObject& object) : dc_(dc), old_(dc.SelectObject(object.m_hObject)) {}
    ~CSelect() {
        if (old_) dc_.SelectObject(old_);
    }
    CSelect(const CSelect&) = delete;
    CSelect& operator=(const CSelect&) = delete;

  private:
    CDC& dc_;
    HGDIOBJ old_;
};

}  // namespace deckwright
