#pragma once

#include <string>
#include <vector>

#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

namespace deckwright {

// A line of text a dialog paints itself, on cells of its own background colour.
struct PaintedLine {
    std::string text;
    RECT rect;
    COLORREF background;
};

// A rectangle given at 96 DPI, at the window's DPI, cut to the window's client area (a line
// only ever fills its text's cells, so the cut changes nothing painted; the rectangle just
// does not claim room the window does not have).
RECT PlaceIn(const CWnd& window, RECT at96);

// Draws the lines in black "verdana" of the given height, the program's one font form.
void PaintLines(CDC& dc, int fontHeight, const std::vector<PaintedLine>& lines);

}  // namespace deckwright
