#include "cli/commands.h"

namespace deckwright::cli {

// Placeholder until the repair command is built.
void AddRepairCommand(CLI::App& app, int* exit_status) {
    (void)app;
    (void)exit_status;
}

}  // namespace deckwright::cli
