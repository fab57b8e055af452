#include "platform/ui/win32/dialog.h"

#include <algorithm>

#include "platform/ui/win32/app.h"
#include "platform/ui/win32/frame.h"
#include "platform/utf.h"

namespace deckwright {

void CDataExchange::Fail(int id) {
    m_bFailed = true;
    if (HWND control = m_pDlgWnd->GetDlgItem(id)) ::SetFocus(control);
}

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
    HWND control = dx->m_pDlgWnd->GetDlgItem(id);
    if (!control || dx->m_bFailed) return;
    if (dx->m_bSaveAndValidate) {
        const int n = ::GetWindowTextLengthW(control);
        std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
        const int got = ::GetWindowTextW(control, text.data(), n + 1);
        text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
        value = Narrow(text);
    } else {
        ::SetWindowTextW(control, Widen(value).c_str());
    }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND control = dx->m_pDlgWnd->GetDlgItem(id);
    if (!control || dx->m_bFailed) return;
    if (dx->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {
    OnCommand(IDOK, [this] { OnOK(); });
    OnCommand(IDCANCEL, [this] { OnCancel(); });
}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner && AfxGetApp() && AfxGetApp()->m_pMainWnd) owner = AfxGetApp()->m_pMainWnd->m_hWnd;
    return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) {
    ::EndDialog(m_hWnd, result);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx(*this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

namespace {

// As dialogs of a Windows program open: over the middle of their owner, or of the screen.
void CenterOverOwner(HWND dialog) {
    RECT area{};
    HWND owner = ::GetWindow(dialog, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT box{};
    ::GetWindowRect(dialog, &box);
    const int width = box.right - box.left, height = box.bottom - box.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(dialog, nullptr, std::max<int>(x, 0), std::max<int>(y, 0), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CPaintedDialog::CPaintedDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
    OnMessage(WM_PAINT, [this](WPARAM, LPARAM) {
        CPaintDC dc(m_hWnd);
        Paint(dc);
        return 0;
    });
    OnMessage(WM_PRINTCLIENT, [this](WPARAM wp, LPARAM) {
        CDC dc(reinterpret_cast<HDC>(wp));
        Paint(dc);
        return 0;
    });
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lp);
        self->Attach(hwnd);
        CenterOverOwner(hwnd);
        try {
            return self->OnInitDialog() ? TRUE : FALSE;
        } catch (...) {
            return TRUE;
        }
    }
    CWnd* self = FromHandle(hwnd);
    if (!self) return FALSE;
    // No fallback: a dialog procedure leaves what it does not handle to the dialog manager.
    bool handled = false;
    const LRESULT result = RunDispatch(self, hwnd, message, wp, lp, nullptr, &handled);
    if (!handled || message == WM_NCDESTROY) return FALSE;
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace deckwright
