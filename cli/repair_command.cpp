#include "cli/repair_command.h"

#include <algorithm>
#include <iostream>
#include <thread>

#include "cli/commands.h"
#include "runs/repair_and_save_worker.h"
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
              bool interactive, std::istream& answers, std::ostream& out, std::ostream& messages) {
    const std::string folder = AsFolder(options.out.value_or(saved.save_folder));
    const std::string suffix = options.suffix.value_or(saved.suffix);

    // Found out before any work, not after every file was repaired.
    if (const std::string problem = SuffixProblem(suffix); !problem.empty()) {
        messages << "deckwright repair: the suffix \"" << suffix << "\""
                 << (options.suffix ? "" : " (from the saved settings)")
                 << " cannot be used: " << problem << '\n';
        return kExitUsage;
    }
    std::string why;
    if (!files.CheckFolderWritable(folder, &why)) {
        messages << "deckwright repair: cannot save into "
                 << (folder.empty() ? std::string("the current folder") : folder)
                 << (options.out ? "" : " (the saved setting)") << ": " << why << '\n';
        return kExitUsage;
    }

    TerminalHost terminal(options.existing, interactive, answers, messages);
    const RunOutcomes outcomes = RepairAndSaveWorker(RepairAndSaveJob{
        options.files, &terminal, &files, suffix, folder, std::max<std::size_t>(options.jobs, 1)});

    int status = kExitOk;
    for (std::size_t i = 0; i < options.files.size(); ++i) {
        if (outcomes[i].succeeded) {
            out << options.files[i] << ": saved as " << outcomes[i].path << '\n';
            if (!outcomes[i].warning.empty()) {
                out << options.files[i] << ": warning: " << TerminalHost::OneLine(outcomes[i].warning)
                    << '\n';
                if (status == kExitOk) status = kExitWarning;
            }
        } else {
            out << options.files[i] << ": failed: " << TerminalHost::Reason(outcomes[i]) << '\n';
            status = kExitSomeFailed;
        }
    }
    out.flush();
    return status;
}

void AddRepairCommand(CLI::App& app, int* exit_status) {
    auto* command = app.add_subcommand(
        "repair",
        "Repair presentations, several at once (--jobs): copy each to the temporary folder,\n"
        "rebuild the copy's header and save it as <folder><name><suffix>.ppt, in the order of the\n"
        "FILEs. The files themselves are only read, and never replaced by a saved file. A\n"
        "repaired copy that cannot be saved is kept, and its line says where.");
    auto options = std::make_shared<RepairOptions>();
    auto out = std::make_shared<std::string>();
    auto suffix = std::make_shared<std::string>();
    auto* out_option = command->add_option(
        "--out", *out, "Folder to save into (default: the saved setting; empty: current folder)");
    auto* suffix_option = command->add_option(
        "--suffix", *suffix, "Text added before .ppt in saved names (default: the saved setting)");
    auto* overwrite = command->add_flag("--overwrite")
                          ->description(
                              "Replace a file that already exists (never one of the FILEs, nor one "
                              "saved by this run)");
    auto* keep = command->add_flag("--keep-existing")
                     ->description("Leave a saved file that already exists, and fail that file");
    overwrite->excludes(keep);
    // Files are independent until they are saved, and the saves keep their order.
    options->jobs = std::max(1u, std::thread::hardware_concurrency());
    command
        ->add_option("--jobs,-j", options->jobs,
                     "Files repaired at once (default: the number of processors); the lines "
                     "and the saves keep the order of the FILEs")
        ->check(CLI::Range(std::size_t{1}, std::size_t{256}));
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
