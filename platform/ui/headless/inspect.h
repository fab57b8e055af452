// What tests may ask the headless toolkit beyond the toolkit's own interface: what was drawn.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/headless/win_types.h"

namespace deckwright::headless {

struct DrawnText {
    std::string text;
    RECT rect;
    UINT format;
    COLORREF text_color;
    COLORREF background;
    std::string face;  // of the selected font; empty for the surface's default font
    int height;
};

// The texts drawn on the window since its background was last erased, in order; a text drawn
// off-screen and copied onto the window counts, moved to where it was copied.
std::vector<DrawnText> TextsOn(HWND window);
// The DPI every window reports, as on a screen at that scaling (96 until set).
void SetScreenDpi(UINT dpi);

// A WM_DROPFILES message's drop, in memory: the address of the list of paths.
inline WPARAM DropOf(const std::vector<std::string>& paths) {
    return reinterpret_cast<WPARAM>(&paths);
}

// How many times the window's background was erased and its paint handler run.
int EraseCount(HWND window);
int PaintCount(HWND window);

}  // namespace deckwright::headless
