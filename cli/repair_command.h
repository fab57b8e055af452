#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_host.h"
#include "runs/file_operations.h"
#include "platform/settings.h"

namespace deckwright::cli {

struct RepairOptions {
    std::optional<std::string> out;     // the save folder; the saved setting when absent
    std::optional<std::string> suffix;  // the suffix; the saved setting when absent
    ExistingPolicy existing = ExistingPolicy::kAsk;
    std::vector<std::string> files;
    std::size_t jobs = 1;  // files repaired at once
};

// Repairs and saves options.files, each before the next, through the same runs as the desktop
// program, and writes one line per file to out. interactive: whether answers is a terminal to
// ask on; questions and usage errors go to messages. Returns kExitOk when every file was
// repaired and saved, kExitWarning when so but some copy was kept with a warning (a line
// "<file>: warning: ..." follows its result line), kExitSomeFailed when any was not, and
// kExitUsage, before any work, when the suffix or the save folder cannot be used.
int RunRepair(const RepairOptions& options, const Settings& saved, FileOperations& files,
              bool interactive, std::istream& answers, std::ostream& out, std::ostream& messages);

}  // namespace deckwright::cli
