#pragma once

#include <string>

#include "platform/ui/wnd.h"

namespace deckwright {

class CButton : public CWnd {
  public:
    bool Create(const std::string& text, DWORD style, const RECT& rect, CWnd& parent, UINT id);
    int GetCheck() const;
    void SetCheck(int state);
};

// A list view. Rows and their texts, check marks and count live in the control alone.
class CListCtrl : public CWnd {
  public:
    bool Create(DWORD style, const RECT& rect, CWnd& parent, UINT id);
    DWORD SetExtendedStyle(DWORD exStyle);
    DWORD GetExtendedStyle() const;
    int InsertColumn(int column, const std::string& heading, int format, int width);
    std::string GetColumnHeading(int column) const;
    // Inserts a row with the first column's text and image (mask: LVIF_TEXT, LVIF_IMAGE);
    // returns its index, or -1.
    int InsertItem(UINT mask, int item, const std::string& text, int image);
    bool SetItemText(int item, int subItem, const std::string& text);
    std::string GetItemText(int item, int subItem) const;
    bool DeleteItem(int item);
    bool DeleteAllItems();
    int GetItemCount() const;
    // The check box of a row (LVS_EX_CHECKBOXES), kept in its state image.
    bool GetCheck(int item) const;
    bool SetCheck(int item, bool checked = true);
};

// A progress bar with a 32-bit range.
class CProgressCtrl : public CWnd {
  public:
    bool Create(DWORD style, const RECT& rect, CWnd& parent, UINT id);
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int SetStep(int step);
    int StepIt();
    int SetPos(int position);
    int GetPos() const;
};

}  // namespace deckwright
