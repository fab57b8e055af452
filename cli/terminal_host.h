#pragma once

#include <iosfwd>
#include <string>

#include "runs/progress.h"
#include "runs/run_host.h"

namespace deckwright::cli {

// What to do when a saved name is already taken.
enum class ExistingPolicy { kAsk, kOverwrite, kKeepExisting };

// The run host of the command line: asks the overwrite questions on the terminal (only when
// asked to ask and a terminal is there). Outcomes come back from the runs themselves.
class TerminalHost final : public RunHost {
  public:
    // questions is where prompts go (not the result lines); answers is read for the replies.
    TerminalHost(ExistingPolicy policy, bool interactive, std::istream& answers,
                 std::ostream& questions)
        : policy_(policy), interactive_(interactive), answers_(answers), questions_(questions) {}

    void ReportProgress(ProgressCode, std::size_t) override {}
    void ShowFailure(std::size_t, const std::string&, const std::string&) override {}
    bool AskOverwrite(std::size_t index, const std::string& destination) override;
    std::optional<std::string> AskSaveAsPath(std::size_t index,
                                             const std::string& initial_path) override;
    void Pause(std::chrono::milliseconds duration) override;

    // The result line's words for a failed item: the program's message on one line, then the
    // system's reason in brackets.
    static std::string Reason(const ItemOutcome& outcome);
    // A program text on one line: line breaks become blanks, runs of blanks one.
    static std::string OneLine(std::string text);

  private:
    bool AskYesNo(const std::string& question);
    bool ReadLine(std::string* line);

    ExistingPolicy policy_;
    bool interactive_;
    std::istream& answers_;
    std::ostream& questions_;
};

}  // namespace deckwright::cli
