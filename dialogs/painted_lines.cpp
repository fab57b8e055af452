#include "dialogs/painted_lines.h"

#include "skin/font.h"

namespace deckwright {

RECT PlaceIn(const CWnd& window, RECT at96) {
    const RECT client = window.GetClientRect();
    RECT r{window.Scale(at96.left), window.Scale(at96.top), window.Scale(at96.right),
           window.Scale(at96.bottom)};
    if (client.right > 0 && r.right > client.right) r.right = client.right;
    if (client.bottom > 0 && r.bottom > client.bottom) r.bottom = client.bottom;
    return r;
}

void PaintLines(CDC& dc, int fontHeight, const std::vector<PaintedLine>& lines) {
    CFont font;
    CreateSkinFont(font, fontHeight, "verdana");
    CSelect selected(dc, font);
    dc.SetTextColor(RGB(0, 0, 0));
    for (const PaintedLine& line : lines) {
        dc.SetBkColor(line.background);
        dc.DrawText(line.text, line.rect, DT_LEFT | DT_TOP);
    }
}

}  // namespace deckwright
