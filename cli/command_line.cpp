#include <iostream>

#include "cli/commands.h"

namespace deckwright::cli {

int RunCommandLine(int argc, const char* const* argv) {
    CLI::App app{"Deckwright: gives back PowerPoint presentations (.ppt) that no longer open,\n"
                 "by rebuilding their damaged compound-file header.",
                 "deckwright"};
    app.set_version_flag("--version", std::string("deckwright ") + DECKWRIGHT_VERSION);
    app.require_subcommand(1);
    int exit_status = kExitOk;
    AddInspectCommand(app, &exit_status);
    AddRepairCommand(app, &exit_status);
    AddCheckCommand(app, &exit_status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    return exit_status;
}

}  // namespace deckwright::cli
