#include "cli/repair_command.h"

#include <iostream>

#include "cli/commands.h"
#include "runs/repair_worker.h"
#include "runs/save_worker.h"
#include "runs/system_files.h"

#ifdef _WIN32
#include <io.h>
#define DECKWRIGHT_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define DECKWRIGHT_ISATTY(fd) ::isatty(fd)
#endif

namespace deckwright::cli {
namespace {

std::string AsFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != kPathSeparator) {
        folder += kPathSeparator;
    }
    return folder;
}

}  // namespace

int RunRepair(const RepairOptions& options, const Settings& saved, FileOperations& files,
              bool interactive, std::istream& answers, std::ostream& out, std::ostream& questions) {
    const std::string folder = AsFolder(options.out.value_or(saved.save_folder));
    const std::string suffix = options.suffix.value_or(saved.suffix);
    const std::size_t count = options.files.size();

    TerminalHost terminal(options.existing, interactive, answers, questions);
    std::vector<std::string> repair_queue = options.files;
    const RunOutcomes repaired =
        RepairWorker(RepairJob{&repair_queue, &terminal, &files, std::chrono::milliseconds(0)});

    std::vector<std::size_t> saving;  // positions in options.files of the repaired ones
    std::vector<std::string> save_queue;
    for (std::size_t i = 0; i < count; ++i) {
        if (!repaired[i].succeeded) continue;
        saving.push_back(i);
        save_queue.push_back(repair_queue[i]);
    }
    const RunOutcomes stored = SaveWorker(
        SaveJob{&save_queue, &terminal, &files, suffix, folder, std::chrono::milliseconds(0)});

    std::vector<const ItemOutcome*> final_outcome(count);
    for (std::size_t i = 0; i < count; ++i) final_outcome[i] = &repaired[i];
    for (std::size_t k = 0; k < saving.size(); ++k) final_outcome[saving[k]] = &stored[k];

    int status = kExitOk;
    for (std::size_t i = 0; i < count; ++i) {
        if (final_outcome[i]->succeeded) {
            out << options.files[i] << ": saved as " << final_outcome[i]->path << '\n';
        } else {
            out << options.files[i] << ": failed: " << TerminalHost::Reason(*final_outcome[i])
                << '\n';
            status = kExitSomeFailed;
        }
    }
    out.flush();
    return status;
}

void AddRepairCommand(CLI::App& app, int* exit_status) {
    auto* command = app.add_subcommand(
        "repair",
        "Repair presentations: copy each to the temporary folder, rebuild the copy's header and\n"
        "save it as <folder><name><suffix>.ppt. The files themselves are only read.");
    auto options = std::make_shared<RepairOptions>();
    auto out = std::make_shared<std::string>();
    auto suffix = std::make_shared<std::string>();
    auto* out_option = command->add_option(
        "--out", *out, "Folder to save into (default: the saved setting; empty: current folder)");
    auto* suffix_option = command->add_option(
        "--suffix", *suffix, "Text added before .ppt in saved names (default: the saved setting)");
    auto* overwrite =
        command->add_flag("--overwrite")->description("Replace a saved file that already exists");
    auto* keep = command->add_flag("--keep-existing")
                     ->description("Leave a saved file that already exists, and fail that file");
    overwrite->excludes(keep);
    command->add_option("FILE", options->files, "Presentations to repair")->required();
    command->callback([=] {
        if (out_option->count() > 0) options->out = *out;
        if (suffix_option->count() > 0) options->suffix = *suffix;
        if (overwrite->count() > 0) options->existing = ExistingPolicy::kOverwrite;
        if (keep->count() > 0) options->existing = ExistingPolicy::kKeepExisting;
        SystemFileOperations files;
        const bool interactive = DECKWRIGHT_ISATTY(0) != 0;
        // The command line uses the saved settings but never changes them.
        *exit_status =
            RunRepair(*options, LoadSettings(), files, interactive, std::cin, std::cout, std::cerr);
    });
}

}  // namespace deckwright::cli
