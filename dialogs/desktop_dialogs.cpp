#include "dialogs/desktop_dialogs.h"

#include <objbase.h>

#include "dialogs/file_saved_dlg.h"
#include "dialogs/multi_file_dialog.h"
#include "dialogs/settings_dlg.h"

namespace deckwright {

namespace {

constexpr std::string_view kPresentationFilter = "PowerPoint Files (*.ppt)|*.ppt||";

}  // namespace

std::vector<std::string> DesktopDialogs::ShowOpenDialog() {
    CMultiFileDialog dialog(true, "ppt", "", OFN_ALLOWMULTISELECT, kPresentationFilter, nullptr);
    std::vector<std::string> paths;
    if (dialog.DoModal() != IDOK) return paths;
    for (auto pos = dialog.GetStartPosition(); pos;) paths.push_back(dialog.GetNextPathName(pos));
    return paths;
}

std::optional<SettingsValues> DesktopDialogs::EditSettings(const SettingsValues& current) {
    CSettingsDlg dialog;
    dialog.SetSuffix(current.suffix);
    dialog.SetSaveFolder(current.save_folder);
    if (dialog.DoModal() != IDOK) return std::nullopt;
    return SettingsValues{dialog.GetSuffix(), dialog.GetSaveFolder()};
}

bool DesktopDialogs::ShowFileSaved(const std::string& folder) {
    CFileSavedDlg dialog;
    dialog.SetFolder(folder);
    dialog.DoModal();
    return dialog.m_bViewSavedFiles != 0;
}

std::optional<std::string> DesktopDialogs::AskSaveAsPath(const std::string& initial_path) {
    // Shown from the save run's thread, without an owner; the shell's parts of the dialog
    // want COM on the thread that shows it.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CFileDialog dialog(false, "ppt", initial_path, OFN_OVERWRITEPROMPT, kPresentationFilter,
                       nullptr);
    std::optional<std::string> chosen;
    if (dialog.DoModal() == IDOK) chosen = dialog.GetPathName();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return chosen;
}

}  // namespace deckwright
