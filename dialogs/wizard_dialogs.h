#pragma once

#include <optional>
#include <string>
#include <vector>

namespace deckwright {

// The two settings as the panel keeps them: the save folder ends with a backslash once set
// through the Settings dialog and is used as a plain prefix of destination paths.
struct SettingsValues {
    std::string suffix;
    std::string save_folder;
};

// The dialogs the panel opens, behind one interface: the real ones in the desktop program,
// scripted ones in tests. All but AskSaveAsPath are shown on the user-interface thread.
class WizardDialogs {
  public:
    virtual ~WizardDialogs() = default;

    // Add File: the full paths chosen, in the order the dialog gives them; nothing when the
    // dialog was cancelled.
    virtual std::vector<std::string> ShowOpenDialog() = 0;
    // Settings: the values after OK, nothing after Cancel.
    virtual std::optional<SettingsValues> EditSettings(const SettingsValues& current) = 0;
    // File Saved, at the end of a save run: whether the user wants to see the saved files.
    virtual bool ShowFileSaved(const std::string& folder) = 0;
    // The save run's Save As dialog, from the run's own thread: the chosen path, or nothing.
    virtual std::optional<std::string> AskSaveAsPath(const std::string& initial_path) = 0;
};

}  // namespace deckwright
