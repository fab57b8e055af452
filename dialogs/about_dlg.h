#pragma once

#include <vector>

#include "dialogs/painted_lines.h"
#include "platform/ui/gdi.h"
#include "platform/ui/win32/dialog.h"

namespace deckwright {

// The modal About box (template IDD_ABOUTBOX): icon, OK, and a painted gradient with the
// product line inside an outline.
class CAboutDlg : public CPaintedDialog {
  public:
    CAboutDlg();
    // Everything the box paints, on any surface the size of the box (WM_PAINT, WM_PRINTCLIENT).
    void Paint(CDC& dc) override;
    // The lines and the outline, where they go at the box's DPI.
    std::vector<PaintedLine> Lines() const;
    RECT OutlineRect() const;
};

}  // namespace deckwright
