#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "runs/progress.h"

namespace deckwright {

// Everything a run needs from its front end: the window of the desktop program, the terminal
// of the command line, a script in tests. Every call returns only once the host has dealt
// with it, so the run never races ahead of what the user sees.
class RunHost {
  public:
    virtual ~RunHost() = default;

    // index is 0 with kRunOver.
    virtual void ReportProgress(ProgressCode code, std::size_t index) = 0;
    // A failure of item index. text is the program's message (one of run_texts.h, shown as is);
    // detail is the system's reason, for front ends that can show more (may be empty).
    virtual void ShowFailure(std::size_t index, const std::string& text,
                             const std::string& detail) = 0;
    // Item index was repaired and its copy kept, but text must be told to the user (a
    // "saved with a warning"; see ItemOutcome::warning). Called before the item's
    // kItemSucceeded; the front end may show it then or after the run. The default does
    // nothing, for hosts that read the warning from the run's outcomes instead.
    virtual void ShowWarning(std::size_t index, const std::string& text) {
        (void)index;
        (void)text;
    }
    // The overwrite question (kOverwriteQuestion) about destination: true for Yes.
    virtual bool AskOverwrite(std::size_t index, const std::string& destination) = 0;
    // Another place to save item index, starting from initial_path; nothing when cancelled.
    // A path that already exists counts as confirmed for replacing.
    virtual std::optional<std::string> AskSaveAsPath(std::size_t index,
                                                     const std::string& initial_path) = 0;
    // The pacing of the desktop program's runs, so a user can follow them.
    virtual void Pause(std::chrono::milliseconds duration) = 0;
};

}  // namespace deckwright
