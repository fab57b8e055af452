#include "cli/commands.h"

namespace deckwright::cli {

// Placeholder until the inspect command is built.
void AddInspectCommand(CLI::App& app, int* exit_status) {
    (void)app;
    (void)exit_status;
}

}  // namespace deckwright::cli
