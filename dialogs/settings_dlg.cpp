#include "dialogs/settings_dlg.h"

#include <shlobj.h>

#include "platform/ui/shell.h"
#include "platform/utf.h"
#include "res/resource.h"
#include "runs/run_texts.h"
#include "skin/gradient.h"

namespace deckwright {

namespace {

// A suffix that names a folder would put saved files outside the save folder.
constexpr char kUnsafeSuffix[] =
    "The suffix can not contain \\ or / and can not be ..\nPlease change the suffix";

}  // namespace

bool IsSafeSuffix(const std::string& suffix) {
    return suffix.find_first_of("\\/") == std::string::npos && suffix != "..";
}

CSettingsDlg::CSettingsDlg(CWnd* parent) : CPaintedDialog(IDD_SETTINGS, parent) {
    OnCommand(IDC_BROWSE, [this] { OnBrowse(); });
}

void CSettingsDlg::SetSaveFolder(const std::string& folder) {
    const auto slash = folder.rfind('\\');
    m_strFolder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

void CSettingsDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_SAVE_FOLDER, m_strFolder);
    std::string suffix = m_strSuffix;
    DDX_Text(dx, IDC_SUFFIX, suffix);
    if (dx->m_bSaveAndValidate && !IsSafeSuffix(suffix)) {
        ShowMessageBox(m_hWnd, kUnsafeSuffix, std::string(kMessageCaption),
                       MB_OK | MB_ICONEXCLAMATION);
        dx->Fail(IDC_SUFFIX);
        return;
    }
    m_strSuffix = suffix;
}

void CSettingsDlg::OnBrowse() {
    wchar_t name[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.pszDisplayName = name;
    info.lpszTitle = L"Select Folder";
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&info);
    if (!item) return;
    wchar_t path[MAX_PATH] = {};
    // An item without a file-system path (the computer, the network) leaves the box as it was.
    if (::SHGetPathFromIDListW(item, path)) ::SetDlgItemTextW(m_hWnd, IDC_SAVE_FOLDER, path);
    ::CoTaskMemFree(item);
}

std::vector<PaintedLine> CSettingsDlg::Lines() const {
    return {{"Set \"Suffix \" for repaired files.", PlaceIn(*this, RECT{20, 25, 300, 50}),
             RGB(240, 223, 206)},
            {"Path for saving repaired file(s)", PlaceIn(*this, RECT{20, 65, 300, 80}),
             RGB(240, 204, 169)}};
}

void CSettingsDlg::Paint(CDC& dc) {
    GradientBackground(dc, *this);
    PaintLines(dc, Scale(13), Lines());
}

}  // namespace deckwright
