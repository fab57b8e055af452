#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/wnd.h"

#include <cderr.h>
#include <commdlg.h>

namespace deckwright {

// The platform's open and Save As dialog, explorer style, with a hook that tells derived
// classes when the selection changes. The result lands in a buffer of MAX_PATH characters.
class CFileDialog {
  public:
    // A position in the result: null when there are no more names.
    using POSITION = const wchar_t*;

    // defExt without "*." (the platform's form); filter in the class library's "|" notation.
    CFileDialog(bool open, const std::string& defExt, const std::string& fileName, DWORD flags,
                std::string_view filter, CWnd* parent);
    virtual ~CFileDialog() = default;
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK or IDCANCEL; CommDlgExtendedError then says why a cancel was not the user's.
    virtual INT_PTR DoModal();
    virtual POSITION GetStartPosition() const;
    // The full path at pos; pos moves on, and becomes null after the last one.
    virtual std::string GetNextPathName(POSITION& pos) const;
    std::string GetPathName() const;

    OPENFILENAMEW m_ofn{};

  protected:
    // The selection in the dialog changed (CDN_SELCHANGE).
    virtual void OnFileNameChange() {}
    // The platform dialog's own window, while it is up: the target of the CDM_ messages.
    HWND GetDialogWindow() const { return dialog_; }

  private:
    static UINT_PTR CALLBACK HookProc(HWND hook, UINT message, WPARAM wp, LPARAM lp);

    bool open_;
    std::wstring filter_;
    std::wstring defExt_;
    // The result buffer: MAX_PATH characters as the dialog is told, with room behind them,
    // because Wine writes a selection too long for it past its end before refusing it.
    std::vector<wchar_t> file_ = std::vector<wchar_t>(64 * 1024, L'\0');
    HWND dialog_ = nullptr;
};

// The platform's filter notation (NUL-separated, ending in two NULs) from the class library's
// ("|"-separated, ending in "||").
std::wstring PlatformFilter(std::string_view bars);

}  // namespace deckwright
