// Button, list view and progress bar in memory: their state lives in the window structure, as
// Win32 keeps it inside the control.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/headless/window.h"

namespace deckwright {

namespace {

HWND__::Row* RowOf(HWND hwnd, int item) {
    HWND__* w = headless::Live(hwnd);
    if (!w || item < 0 || static_cast<std::size_t>(item) >= w->rows.size()) return nullptr;
    return &w->rows[static_cast<std::size_t>(item)];
}

}  // namespace

bool CButton::Create(const std::string& text, DWORD style, const RECT& rect, CWnd& parent,
                     UINT id) {
    return CreateControl(L"Button", text, style, 0, rect, parent.m_hWnd, id);
}

int CButton::GetCheck() const {
    HWND__* w = headless::Live(m_hWnd);
    return w ? w->check : 0;
}

void CButton::SetCheck(int state) {
    if (HWND__* w = headless::Live(m_hWnd)) w->check = state;
}

bool CListCtrl::Create(DWORD style, const RECT& rect, CWnd& parent, UINT id) {
    return CreateControl(L"SysListView32", "", style, 0, rect, parent.m_hWnd, id);
}

DWORD CListCtrl::SetExtendedStyle(DWORD exStyle) {
    HWND__* w = headless::Live(m_hWnd);
    if (!w) return 0;
    const DWORD previous = w->list_ex_style;
    w->list_ex_style = exStyle;
    return previous;
}

DWORD CListCtrl::GetExtendedStyle() const {
    HWND__* w = headless::Live(m_hWnd);
    return w ? w->list_ex_style : 0;
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int, int) {
    HWND__* w = headless::Live(m_hWnd);
    if (!w || column < 0) return -1;
    const auto at = std::min(static_cast<std::size_t>(column), w->columns.size());
    w->columns.insert(w->columns.begin() + static_cast<std::ptrdiff_t>(at), heading);
    return static_cast<int>(at);
}

std::string CListCtrl::GetColumnHeading(int column) const {
    HWND__* w = headless::Live(m_hWnd);
    if (!w || column < 0 || static_cast<std::size_t>(column) >= w->columns.size()) return {};
    return w->columns[static_cast<std::size_t>(column)];
}

int CListCtrl::InsertItem(UINT mask, int item, const std::string& text, int image) {
    HWND__* w = headless::Live(m_hWnd);
    if (!w || item < 0) return -1;
    HWND__::Row row;
    row.cells.push_back(mask & LVIF_TEXT ? text : std::string());
    row.image = mask & LVIF_IMAGE ? image : 0;
    const auto at = std::min(static_cast<std::size_t>(item), w->rows.size());
    w->rows.insert(w->rows.begin() + static_cast<std::ptrdiff_t>(at), row);
    return static_cast<int>(at);
}

bool CListCtrl::SetItemText(int item, int subItem, const std::string& text) {
    HWND__::Row* row = RowOf(m_hWnd, item);
    if (!row || subItem < 0) return false;
    if (row->cells.size() <= static_cast<std::size_t>(subItem)) {
        row->cells.resize(static_cast<std::size_t>(subItem) + 1);
    }
    row->cells[static_cast<std::size_t>(subItem)] = text;
    return true;
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    const HWND__::Row* row = RowOf(m_hWnd, item);
    if (!row || subItem < 0 || row->cells.size() <= static_cast<std::size_t>(subItem)) return {};
    return row->cells[static_cast<std::size_t>(subItem)];
}

bool CListCtrl::DeleteItem(int item) {
    HWND__* w = headless::Live(m_hWnd);
    if (!RowOf(m_hWnd, item)) return false;
    w->rows.erase(w->rows.begin() + item);
    return true;
}

bool CListCtrl::DeleteAllItems() {
    HWND__* w = headless::Live(m_hWnd);
    if (!w) return false;
    w->rows.clear();
    return true;
}

int CListCtrl::GetItemCount() const {
    HWND__* w = headless::Live(m_hWnd);
    return w ? static_cast<int>(w->rows.size()) : 0;
}

bool CListCtrl::GetCheck(int item) const {
    const HWND__::Row* row = RowOf(m_hWnd, item);
    return row && row->checked;
}

bool CListCtrl::SetCheck(int item, bool checked) {
    HWND__::Row* row = RowOf(m_hWnd, item);
    if (!row) return false;
    row->checked = checked;
    return true;
}

bool CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd& parent, UINT id) {
    return CreateControl(L"msctls_progress32", "", style, 0, rect, parent.m_hWnd, id);
}

void CProgressCtrl::SetRange32(int lower, int upper) {
    HWND__* w = headless::Live(m_hWnd);
    if (!w) return;
    w->low = lower;
    w->high = upper;
    w->position = std::clamp(w->position, std::min(lower, upper), std::max(lower, upper));
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    HWND__* w = headless::Live(m_hWnd);
    lower = w ? w->low : 0;
    upper = w ? w->high : 0;
}

int CProgressCtrl::SetStep(int step) {
    HWND__* w = headless::Live(m_hWnd);
    if (!w) return 0;
    const int previous = w->step;
    w->step = step;
    return previous;
}

int CProgressCtrl::StepIt() {
    HWND__* w = headless::Live(m_hWnd);
    if (!w) return 0;
    const int previous = w->position;
    w->position += w->step;
    // Past the end the bar starts over from the beginning, as the common control does.
    if (w->position > w->high && w->high > w->low) {
        w->position = w->low + (w->position - w->low) % (w->high - w->low);
    }
    return previous;
}

int CProgressCtrl::SetPos(int position) {
    HWND__* w = headless::Live(m_hWnd);
    if (!w) return 0;
    const int previous = w->position;
    w->position = std::clamp(position, std::min(w->low, w->high), std::max(w->low, w->high));
    return previous;
}

int CProgressCtrl::GetPos() const {
    HWND__* w = headless::Live(m_hWnd);
    return w ? w->position : 0;
}

}  // namespace deckwright
