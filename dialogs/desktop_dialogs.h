#pragma once

#include "dialogs/wizard_dialogs.h"

namespace deckwright {

// The panel's dialogs in the desktop program: the common open and Save As dialogs, the
// Settings dialog and the File Saved dialog.
class DesktopDialogs final : public WizardDialogs {
  public:
    std::vector<std::string> ShowOpenDialog() override;
    std::optional<SettingsValues> EditSettings(const SettingsValues& current) override;
    bool ShowFileSaved(const std::string& folder) override;
    std::optional<std::string> AskSaveAsPath(const std::string& initial_path) override;
};

}  // namespace deckwright
