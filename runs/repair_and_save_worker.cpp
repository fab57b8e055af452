#include "runs/repair_and_save_worker.h"

#include "runs/run_items.h"
#include "runs/run_texts.h"

namespace deckwright {
namespace {

void ReportEnd(RunHost& host, const ItemOutcome& outcome, std::size_t index) {
    host.ReportProgress(
        outcome.succeeded ? ProgressCode::kItemSucceeded : ProgressCode::kItemFailed, index);
}

}  // namespace

RunOutcomes RepairAndSaveWorker(const RepairAndSaveJob& job) {
    const std::size_t count = job.sources.size();
    const RepairJob repair{nullptr, job.host, job.files, std::chrono::milliseconds(0)};
    const SaveJob save{nullptr,    job.host,   job.files,
                       job.suffix, job.folder, std::chrono::milliseconds(0)};
    RunOutcomes outcomes;
    try {
        // A file saved early must not take the place of one that comes later.
        for (const auto& source : job.sources) job.files->ProtectOriginal(source);
        detail::SavedInThisRun saved;
        outcomes.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            job.host->ReportProgress(ProgressCode::kRepairBegins, i);
            ItemOutcome outcome = detail::RepairOneItem(repair, i, job.sources[i]);
            ReportEnd(*job.host, outcome, i);
            if (outcome.succeeded) {
                // A repaired copy's warning stays with the item once the copy is saved.
                std::string warning = std::move(outcome.warning);
                job.host->ReportProgress(ProgressCode::kSaveBegins, i);
                outcome = detail::SaveOneItem(save, i, outcome.path, &saved);
                if (outcome.succeeded) outcome.warning = std::move(warning);
                ReportEnd(*job.host, outcome, i);
            }
            outcomes.push_back(std::move(outcome));
        }
    } catch (...) {
        // Out of memory or a host that failed: the rest is not done.
        outcomes.resize(
            count, ItemOutcome{false, {}, std::string(kLoadFailedText), "the run was stopped", {}});
    }
    job.host->ReportProgress(ProgressCode::kRunOver, 0);
    return outcomes;
}

}  // namespace deckwright
