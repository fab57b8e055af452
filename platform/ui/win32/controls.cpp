// Button, list view and progress bar over the common controls.
#include "platform/ui/controls.h"

#include <vector>

#include "platform/utf.h"

namespace deckwright {

bool CButton::Create(const std::string& text, DWORD style, const RECT& rect, CWnd& parent,
                     UINT id) {
    return CreateControl(WC_BUTTONW, text, style, 0, rect, parent.m_hWnd, id);
}

int CButton::GetCheck() const {
    return static_cast<int>(SendMessage(BM_GETCHECK));
}

void CButton::SetCheck(int state) {
    SendMessage(BM_SETCHECK, static_cast<WPARAM>(state));
}

bool CListCtrl::Create(DWORD style, const RECT& rect, CWnd& parent, UINT id) {
    return CreateControl(WC_LISTVIEWW, "", style, 0, rect, parent.m_hWnd, id);
}

DWORD CListCtrl::SetExtendedStyle(DWORD exStyle) {
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, exStyle));
}

DWORD CListCtrl::GetExtendedStyle() const {
    return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) {
    std::wstring text = Widen(heading);
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = format;
    c.cx = width;
    c.pszText = text.data();
    c.iSubItem = column;
    return static_cast<int>(
        SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

std::string CListCtrl::GetColumnHeading(int column) const {
    wchar_t buffer[256] = {};
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT;
    c.pszText = buffer;
    c.cchTextMax = 256;
    if (!SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c))) {
        return {};
    }
    return Narrow(buffer);
}

int CListCtrl::InsertItem(UINT mask, int item, const std::string& text, int image) {
    std::wstring w = Widen(text);
    LVITEMW row{};
    row.mask = mask;
    row.iItem = item;
    row.pszText = w.data();
    row.iImage = image;
    return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

bool CListCtrl::SetItemText(int item, int subItem, const std::string& text) {
    std::wstring w = Widen(text);
    LVITEMW cell{};
    cell.iSubItem = subItem;
    cell.pszText = w.data();
    return SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item),
                       reinterpret_cast<LPARAM>(&cell)) != FALSE;
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    // The control copies at most the buffer's size: grow until the text fits.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        LVITEMW cell{};
        cell.iSubItem = subItem;
        cell.pszText = buffer.data();
        cell.cchTextMax = static_cast<int>(buffer.size());
        const auto n = static_cast<std::size_t>(SendMessage(
            LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)));
        if (n + 1 < buffer.size()) return Narrow(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

bool CListCtrl::DeleteItem(int item) {
    return SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item)) != FALSE;
}

bool CListCtrl::DeleteAllItems() {
    return SendMessage(LVM_DELETEALLITEMS) != FALSE;
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessage(LVM_GETITEMCOUNT));
}

bool CListCtrl::GetCheck(int item) const {
    // State image 1 is the empty box, 2 the checked one.
    const auto state = static_cast<UINT>(
        SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool CListCtrl::SetCheck(int item, bool checked) {
    LVITEMW row{};
    row.stateMask = LVIS_STATEIMAGEMASK;
    row.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    return SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                       reinterpret_cast<LPARAM>(&row)) != FALSE;
}

bool CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd& parent, UINT id) {
    return CreateControl(PROGRESS_CLASSW, "", style, 0, rect, parent.m_hWnd, id);
}

void CProgressCtrl::SetRange32(int lower, int upper) {
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    PBRANGE range{};
    SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::SetStep(int step) {
    return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrl::StepIt() {
    return static_cast<int>(SendMessage(PBM_STEPIT));
}

int CProgressCtrl::SetPos(int position) {
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtrl::GetPos() const {
    return static_cast<int>(SendMessage(PBM_GETPOS));
}

}  // namespace deckwright
