#include "platform/ui/win32/file_dialog.h"

#include <commdlg.h>

#include "platform/ui/win32/app.h"
#include "platform/ui/win32/frame.h"
#include "platform/utf.h"

namespace deckwright {

std::wstring PlatformFilter(std::string_view bars) {
    std::wstring filter = Widen(std::string(bars));
    for (wchar_t& c : filter) {
        if (c == L'|') c = L'\0';
    }
    return filter;
}

CFileDialog::CFileDialog(bool open, const std::string& defExt, const std::string& fileName,
                         DWORD flags, std::string_view filter, CWnd* parent)
    : open_(open), filter_(PlatformFilter(filter)), defExt_(Widen(defExt)) {
    const std::wstring name = Widen(fileName);
    name.copy(file_.data(), std::min<std::size_t>(name.size(), MAX_PATH - 1));
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    m_ofn.lpstrFile = file_.data();
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.lpstrDefExt = defExt_.empty() ? nullptr : defExt_.c_str();
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    m_ofn.lpfnHook = &CFileDialog::HookProc;
    m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
}

INT_PTR CFileDialog::DoModal() {
    // Without a parent, the main window owns it when shown from the main window's thread,
    // as modal dialogs of the program do; from a worker it stays without an owner.
    const CWinApp* app = AfxGetApp();
    HWND main = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
    const HWND given = m_ofn.hwndOwner;
    if (!given && main && ::GetWindowThreadProcessId(main, nullptr) == ::GetCurrentThreadId()) {
        m_ofn.hwndOwner = main;
    }
    const BOOL ok = open_ ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    m_ofn.hwndOwner = given;
    dialog_ = nullptr;
    return ok ? IDOK : IDCANCEL;
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND hook, UINT message, WPARAM, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lp);
        ::SetPropW(hook, L"Deckwright.CFileDialog", reinterpret_cast<HANDLE>(ofn->lCustData));
        return 0;
    }
    auto* self = reinterpret_cast<CFileDialog*>(::GetPropW(hook, L"Deckwright.CFileDialog"));
    if (!self) return 0;
    if (message == WM_NOTIFY) {
        const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lp);
        // The hook's window is a child of the platform dialog, which answers CDM_ messages.
        self->dialog_ = ::GetParent(hook);
        if (notify->hdr.code == CDN_SELCHANGE) {
            try {
                self->OnFileNameChange();
            } catch (...) {
                // Nothing may unwind through the dialog's code.
            }
        }
    } else if (message == WM_DESTROY) {
        ::RemovePropW(hook, L"Deckwright.CFileDialog");
    }
    return 0;
}

CFileDialog::POSITION CFileDialog::GetStartPosition() const {
    return file_[0] ? file_.data() : nullptr;
}

std::string CFileDialog::GetNextPathName(POSITION& pos) const {
    if (!pos) return {};
    // Several names: the folder, then the names, NUL-separated. One: its full path.
    const std::wstring first = file_.data();
    const wchar_t* second = file_.data() + first.size() + 1;
    const bool several = (m_ofn.Flags & OFN_ALLOWMULTISELECT) && *second != L'\0';
    if (!several) {
        pos = nullptr;
        return Narrow(first);
    }
    if (pos == file_.data()) pos = second;
    const std::wstring name = pos;
    std::wstring path = first;
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += name;
    pos += name.size() + 1;
    if (*pos == L'\0') pos = nullptr;
    return Narrow(path);
}

std::string CFileDialog::GetPathName() const {
    return Narrow(file_.data());
}

}  // namespace deckwright
