#include "dialogs/about_dlg.h"

#include "res/resource.h"
#include "skin/gradient.h"
#include "version.h"

namespace deckwright {

namespace {

struct Line {
    const char* text;
    COLORREF background;
};

// The product line, then a few words on what the program is, each line a shade darker.
constexpr Line kLines[] = {
    {DECKWRIGHT_TITLE, RGB(240, 230, 220)},
    {"Repairs PowerPoint presentations (.ppt) whose file header is damaged.", RGB(232, 220, 208)},
    {"Your own files are only read; repaired copies are saved apart.", RGB(224, 210, 196)},
};

}  // namespace

CAboutDlg::CAboutDlg() : CPaintedDialog(IDD_ABOUTBOX) {}

std::vector<PaintedLine> CAboutDlg::Lines() const {
    std::vector<PaintedLine> lines;
    int top = 30;
    for (const Line& line : kLines) {
        lines.push_back({line.text, PlaceIn(*this, RECT{80, top, 500, top + 20}), line.background});
        top += 20;
    }
    return lines;
}

RECT CAboutDlg::OutlineRect() const {
    return PlaceIn(*this, RECT{60, 20, 455, 180});
}

void CAboutDlg::Paint(CDC& dc) {
    GradientBackgroundWholeSteps(dc, *this);
    PaintLines(dc, Scale(13), Lines());
    // The outline with the surface's own pen, the default one-pixel black one.
    const RECT r = OutlineRect();
    dc.MoveTo(r.left, r.top);
    dc.LineTo(r.right, r.top);
    dc.LineTo(r.right, r.bottom);
    dc.LineTo(r.left, r.bottom);
    dc.LineTo(r.left, r.top);
}

}  // namespace deckwright
