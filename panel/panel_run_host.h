#pragma once

#include "dialogs/wizard_dialogs.h"
#include "platform/ui/win_types.h"
#include "runs/run_host.h"

namespace deckwright {

// The desktop program's run host, called on the worker's thread: each progress step is a
// message sent to the panel, which the worker waits for; failures, warnings and the overwrite
// question are message boxes without an owner, which block the worker only; Save As is the
// dialogs'.
class PanelRunHost final : public RunHost {
  public:
    PanelRunHost(HWND panel, UINT message, WizardDialogs& dialogs)
        : panel_(panel), message_(message), dialogs_(dialogs) {}

    void ReportProgress(ProgressCode code, std::size_t index) override;
    void ShowFailure(std::size_t index, const std::string& text,
                     const std::string& detail) override;
    void ShowWarning(std::size_t index, const std::string& text) override;
    bool AskOverwrite(std::size_t index, const std::string& destination) override;
    std::optional<std::string> AskSaveAsPath(std::size_t index,
                                             const std::string& initial_path) override;
    void Pause(std::chrono::milliseconds duration) override;

    // Whether the run's final event went out: the thread sends one itself if not.
    bool RunOverReported() const { return run_over_reported_; }

  private:
    HWND panel_;
    UINT message_;
    WizardDialogs& dialogs_;
    bool run_over_reported_ = false;
};

}  // namespace deckwright
