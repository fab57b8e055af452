#pragma once

#include <iosfwd>
#include <map>
#include <string>

#include "engine/run_host.h"

namespace deckwright::cli {

// What to do when a saved name is already taken.
enum class ExistingPolicy { kAsk, kOverwrite, kKeepExisting };

// The run host of the command line: remembers each item's outcome and reason, and asks the
// overwrite questions on the terminal (only when asked to ask and a terminal is there).
class TerminalHost final : public RunHost {
  public:
    // questions is where prompts go (not the result lines); answers is read for the replies.
    TerminalHost(ExistingPolicy policy, bool interactive, std::istream& answers,
                 std::ostream& questions)
        : policy_(policy), interactive_(interactive), answers_(answers), questions_(questions) {}

    void ReportProgress(unsigned message, ProgressCode code, std::size_t index) override;
    void ShowFailure(std::size_t index, const std::string& text,
                     const std::string& detail) override;
    bool AskOverwrite(std::size_t index, const std::string& destination) override;
    std::optional<std::string> AskSaveAsPath(std::size_t index,
                                             const std::string& initial_path) override;
    void Pause(std::chrono::milliseconds duration) override;

    // Whether item index's last "begins" ended in success, and why it failed if not.
    bool Succeeded(std::size_t index) const;
    std::string FailureOf(std::size_t index) const;
    // Forgets the outcomes, before the next run.
    void Reset();

  private:
    bool AskYesNo(const std::string& question);
    bool ReadLine(std::string* line);

    ExistingPolicy policy_;
    bool interactive_;
    std::istream& answers_;
    std::ostream& questions_;
    std::map<std::size_t, bool> succeeded_;
    std::map<std::size_t, std::string> failures_;
};

}  // namespace deckwright::cli
