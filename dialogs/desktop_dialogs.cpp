#include "dialogs/desktop_dialogs.h"

#include "dialogs/file_dialogs.h"
#include "dialogs/file_saved_dlg.h"
#include "dialogs/settings_dlg.h"

namespace deckwright {

std::vector<std::string> DesktopDialogs::ShowOpenDialog() {
    return ChooseFilesToOpen();
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
    return ChooseSaveAsPath(initial_path);
}

}  // namespace deckwright
