#include "dialogs/multi_file_dialog.h"

#include <commdlg.h>

#include <cwchar>
#include <string>

#include "platform/utf.h"

namespace deckwright {

CMultiFileDialog::CMultiFileDialog(bool open, const std::string& defExt,
                                   const std::string& fileName, DWORD flags,
                                   std::string_view filter, CWnd* parent)
    : CFileDialog(open, defExt, fileName, flags, filter, parent) {}

INT_PTR CMultiFileDialog::DoModal() {
    m_pszSpec.reset();
    m_pszFolder.reset();
    const INT_PTR result = CFileDialog::DoModal();
    if (result == IDCANCEL && ::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL && m_pszSpec) {
        return IDOK;
    }
    return result;
}

void CMultiFileDialog::OnFileNameChange() {
    HWND dialog = GetDialogWindow();
    wchar_t probe[1] = {};
    // With a one-character buffer both answer the length they need, NUL included.
    const auto spec = static_cast<std::size_t>(
        ::SendMessageW(dialog, CDM_GETSPEC, 1, reinterpret_cast<LPARAM>(probe)));
    const auto folder = static_cast<std::size_t>(
        ::SendMessageW(dialog, CDM_GETFOLDERPATH, 1, reinterpret_cast<LPARAM>(probe)));
    if (spec + folder > m_ofn.nMaxFile) {
        m_bSpecParsed = false;
        m_pszSpec = std::make_unique<wchar_t[]>(spec + 1);
        ::SendMessageW(dialog, CDM_GETSPEC, spec, reinterpret_cast<LPARAM>(m_pszSpec.get()));
        m_pszFolder = std::make_unique<wchar_t[]>(folder + 1);
        ::SendMessageW(dialog, CDM_GETFOLDERPATH, folder,
                       reinterpret_cast<LPARAM>(m_pszFolder.get()));
    } else {
        m_pszSpec.reset();  // it fits: the platform's own result serves
        m_pszFolder.reset();
    }
}

void CMultiFileDialog::ParseSpec() const {
    auto* self = const_cast<CMultiFileDialog*>(this);
    self->m_bSpecParsed = true;
    wchar_t* spec = m_pszSpec.get();
    spec_length_ = std::wcslen(spec);
    // A single name stands without quotes: it is taken whole.
    if (spec[0] != L'"') return;
    // "a" "b" "c"  ->  a"b"c  ->  a\0b\0c
    std::wstring work = spec;
    for (std::size_t at; (at = work.find(L"\" \"")) != std::wstring::npos;) {
        work.replace(at, 3, L"\"");
    }
    work = work.size() >= 2 ? work.substr(1, work.size() - 2) : std::wstring();
    std::wmemcpy(spec, work.c_str(), work.size() + 1);
    spec_length_ = work.size();
    for (wchar_t* c = spec; *c; ++c) {
        if (*c == L'"') *c = L'\0';
    }
}

CFileDialog::POSITION CMultiFileDialog::GetStartPosition() const {
    if (!m_pszSpec) return CFileDialog::GetStartPosition();
    if (!m_bSpecParsed) ParseSpec();
    return m_pszSpec[0] ? m_pszSpec.get() : nullptr;
}

std::string CMultiFileDialog::GetNextPathName(POSITION& pos) const {
    if (!m_pszSpec) return CFileDialog::GetNextPathName(pos);
    if (!pos) return {};
    const std::wstring name = pos;
    const std::wstring path = std::wstring(m_pszFolder.get()) + L"\\" + name;
    // The next name starts after this one's NUL, unless this was the last one.
    const wchar_t* next = pos + name.size() + 1;
    pos = next < m_pszSpec.get() + spec_length_ && *next ? next : nullptr;
    return Narrow(path);
}

}  // namespace deckwright
