#pragma once

#include "platform/ui/controls.h"
#include "platform/ui/gdi.h"

namespace deckwright {

// A push button that draws nothing but a picture (BS_OWNERDRAW): four image slots, of which
// the panel fills normal and selected. The slots are released in reverse order.
class CBitmapButton : public CButton {
  public:
    ~CBitmapButton() override;
    // Resource ids in the order normal, selected, focus, disabled; 0 leaves a slot empty.
    // The pictures are those drawn for the button's DPI. True when the normal image loaded.
    bool LoadBitmaps(UINT normal, UINT selected = 0, UINT focus = 0, UINT disabled = 0);
    // The button moved to a screen of another scaling: its pictures are loaded again.
    void OnDpiChanged();
    // Draws the image for the state into the button's rectangle of the given surface.
    void DrawItem(const DRAWITEMSTRUCT& item);

    CBitmap m_bitmap;          // normal
    CBitmap m_bitmapSel;       // selected (pressed)
    CBitmap m_bitmapFocus;     // focus
    CBitmap m_bitmapDisabled;  // disabled

  protected:
    bool OnChildNotify(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) override;

  private:
    UINT ids_[4] = {0, 0, 0, 0};
};

}  // namespace deckwright
