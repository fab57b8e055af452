#include "cli/commands.h"

namespace deckwright::cli {

// Placeholder until the check command is built.
void AddCheckCommand(CLI::App& app, int* exit_status) {
    (void)app;
    (void)exit_status;
}

}  // namespace deckwright::cli
