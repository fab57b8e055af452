#include <iostream>

#include "cli/commands.h"
#include "version.h"

namespace deckwright::cli {
namespace {

// Whether an argument before "--" starts with '-' but is no option of its command: most likely
// a file name, which the parser took for an unknown option.
bool HasDashedName(const CLI::App& app, int argc, const char* const* argv) {
    const CLI::App* command = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") return false;
        if (arg.size() < 2 || arg[0] != '-') {
            if (command != &app) continue;
            for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
                if (sub->check_name(arg)) command = sub;
            }
            continue;
        }
        const std::string name = arg.substr(0, arg.find('='));
        if (!command->get_option_no_throw(name) && !app.get_option_no_throw(name)) return true;
    }
    return false;
}

}  // namespace

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
        if (HasDashedName(app, argc, argv)) {
            std::cerr
                << "Use -- before file names that start with - (deckwright repair -- -a.ppt), "
                   "and --option=VALUE for a value that does.\n";
        }
        return kExitUsage;
    }
    return exit_status;
}

}  // namespace deckwright::cli
