#include "skin/bitmap_button.h"

#include "skin/artwork.h"

#include <algorithm>

namespace deckwright {

CBitmapButton::~CBitmapButton() {
    // Reverse order of the slots; the window goes after them (the base destructor).
    m_bitmapDisabled.DeleteObject();
    m_bitmapFocus.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmap.DeleteObject();
}

bool CBitmapButton::LoadBitmaps(UINT normal, UINT selected, UINT focus, UINT disabled) {
    ids_[0] = normal;
    ids_[1] = selected;
    ids_[2] = focus;
    ids_[3] = disabled;
    m_bitmap.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmapFocus.DeleteObject();
    m_bitmapDisabled.DeleteObject();
    const UINT dpi = GetDpi();
    const bool loaded = LoadArtwork(m_bitmap, normal, dpi);
    if (selected) LoadArtwork(m_bitmapSel, selected, dpi);
    if (focus) LoadArtwork(m_bitmapFocus, focus, dpi);
    if (disabled) LoadArtwork(m_bitmapDisabled, disabled, dpi);
    return loaded;
}

void CBitmapButton::OnDpiChanged() {
    if (ids_[0]) LoadBitmaps(ids_[0], ids_[1], ids_[2], ids_[3]);
}

void CBitmapButton::DrawItem(const DRAWITEMSTRUCT& item) {
    CBitmap* image = &m_bitmap;
    if ((item.itemState & ODS_SELECTED) && m_bitmapSel.m_hObject) {
        image = &m_bitmapSel;
    } else if ((item.itemState & ODS_FOCUS) && m_bitmapFocus.m_hObject) {
        image = &m_bitmapFocus;
    } else if ((item.itemState & ODS_DISABLED) && m_bitmapDisabled.m_hObject) {
        image = &m_bitmapDisabled;
    }
    if (!image->m_hObject) return;  // nothing loaded: the button stays as the parent left it

    CDC target(item.hDC);
    CDC memory;
    memory.CreateCompatibleDC(&target);
    CSelect selected(memory, *image);
    const RECT& r = item.rcItem;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const SIZE size = image->GetSize();
    // Where a smaller image does not reach (Previous held down), continue its corner colour
    // rather than showing whatever lies outside the bitmap.
    if (size.cx < width || size.cy < height) {
        const COLORREF corner = memory.GetPixel(0, 0);
        if (size.cx < width)
            target.FillSolidRect(r.left + size.cx, r.top, width - size.cx, height, corner);
        if (size.cy < height)
            target.FillSolidRect(r.left, r.top + size.cy, width, height - size.cy, corner);
    }
    target.BitBlt(r.left, r.top, std::min<int>(width, size.cx), std::min<int>(height, size.cy),
                  memory, 0, 0, SRCCOPY);
}

bool CBitmapButton::OnChildNotify(UINT message, WPARAM, LPARAM lp, LRESULT* result) {
    if (message != WM_DRAWITEM) return false;
    DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    *result = TRUE;
    return true;
}

}  // namespace deckwright
