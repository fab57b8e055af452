#include "skin/bitmap_button.h"

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
    m_bitmap.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmapFocus.DeleteObject();
    m_bitmapDisabled.DeleteObject();
    const bool loaded = m_bitmap.LoadBitmap(normal);
    if (selected) m_bitmapSel.LoadBitmap(selected);
    if (focus) m_bitmapFocus.LoadBitmap(focus);
    if (disabled) m_bitmapDisabled.LoadBitmap(disabled);
    return loaded;
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
