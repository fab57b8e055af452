#include "panel/panel_run_host.h"

#include <thread>

#include "platform/ui/shell.h"
#include "platform/ui/wnd.h"
#include "runs/run_texts.h"

namespace deckwright {

void PanelRunHost::ReportProgress(ProgressCode code, std::size_t index) {
    if (code == ProgressCode::kRunOver) run_over_reported_ = true;
    SendWindowMessage(panel_, message_, static_cast<WPARAM>(code), static_cast<LPARAM>(index));
}

void PanelRunHost::ShowFailure(std::size_t, const std::string& text, const std::string& detail) {
    // The program's own words as users have always seen them, then what only the system knows:
    // why, and where a copy that was not saved is kept.
    const std::string message = detail.empty() ? text : text + "\n\n" + detail;
    ShowMessageBox(nullptr, message, std::string(kMessageCaption), MB_OK | MB_ICONINFORMATION);
}

void PanelRunHost::ShowWarning(std::size_t, const std::string& text) {
    // Before the item shows as done: the copy is kept, but the user must know what it lacks.
    ShowMessageBox(nullptr, text, std::string(kMessageCaption), MB_OK | MB_ICONWARNING);
}

bool PanelRunHost::AskOverwrite(std::size_t, const std::string&) {
    return ShowMessageBox(nullptr, std::string(kOverwriteQuestion), std::string(kMessageCaption),
                          MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

std::optional<std::string> PanelRunHost::AskSaveAsPath(std::size_t,
                                                       const std::string& initial_path) {
    return dialogs_.AskSaveAsPath(initial_path);
}

void PanelRunHost::Pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

}  // namespace deckwright
