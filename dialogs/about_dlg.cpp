#include "dialogs/about_dlg.h"

#include "res/resource.h"
#include "skin/font.h"
#include "skin/gradient.h"

namespace deckwright {

namespace {

struct Line {
    const char* text;
    COLORREF background;
};

// The product line, then a few words on what the program is, each line a shade darker.
constexpr Line kLines[] = {
    {"Velmora Deckwright Version 5.0.1", RGB(240, 230, 220)},
    {"Repairs PowerPoint presentations (.ppt) whose file header is damaged.", RGB(232, 220, 208)},
    {"Your own files are only read; repaired copies are saved apart.", RGB(224, 210, 196)},
};

}  // namespace

CAboutDlg::CAboutDlg() : CPaintedDialog(IDD_ABOUTBOX) {}

void CAboutDlg::Paint(CDC& dc) {
    GradientBackgroundWholeSteps(dc, *this);
    CFont font;
    CreateSkinFont(font, 13, "verdana");
    CSelect selected(dc, font);
    dc.SetTextColor(RGB(0, 0, 0));
    int top = 30;
    for (const Line& line : kLines) {
        dc.SetBkColor(line.background);
        dc.DrawText(line.text, RECT{80, top, 500, top + 20}, DT_LEFT | DT_TOP);
        top += 20;
    }
    // The outline with the surface's own pen, the default one-pixel black one.
    dc.MoveTo(60, 20);
    dc.LineTo(455, 20);
    dc.LineTo(455, 180);
    dc.LineTo(60, 180);
    dc.LineTo(60, 20);
}

}  // namespace deckwright
