#include "runs/repair_and_save_worker.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "runs/run_items.h"
#include "runs/run_texts.h"

namespace deckwright {
namespace {

void ReportEnd(RunHost& host, const ItemOutcome& outcome, std::size_t index) {
    host.ReportProgress(
        outcome.succeeded ? ProgressCode::kItemSucceeded : ProgressCode::kItemFailed, index);
}

// Hands the calls of several repairing threads to the host one at a time.
class OneCallAtATime final : public RunHost {
  public:
    explicit OneCallAtATime(RunHost& host) : host_(host) {}
    void ReportProgress(ProgressCode code, std::size_t index) override {
        std::lock_guard<std::mutex> lock(mutex_);
        host_.ReportProgress(code, index);
    }
    void ShowFailure(std::size_t index, const std::string& text,
                     const std::string& detail) override {
        std::lock_guard<std::mutex> lock(mutex_);
        host_.ShowFailure(index, text, detail);
    }
    void ShowWarning(std::size_t index, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        host_.ShowWarning(index, text);
    }
    bool AskOverwrite(std::size_t index, const std::string& destination) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return host_.AskOverwrite(index, destination);
    }
    std::optional<std::string> AskSaveAsPath(std::size_t index,
                                             const std::string& initial_path) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return host_.AskSaveAsPath(index, initial_path);
    }
    void Pause(std::chrono::milliseconds duration) override { host_.Pause(duration); }

  private:
    RunHost& host_;
    std::mutex mutex_;
};

// Repairs on `jobs` threads, each taking the next item as long as the job's bounds on the copies
// that wait for their save allow; saves each item in order on this thread as soon as its repair
// is done. False, with nothing done, when no thread could be started.
bool RepairOnThreadsSaveInOrder(const RepairAndSaveJob& job, RunOutcomes& outcomes) {
    const std::size_t count = job.sources.size();
    OneCallAtATime host(*job.host);
    const RepairJob repair{nullptr, &host, job.files, std::chrono::milliseconds(0)};
    const SaveJob save{nullptr,    &host,      job.files,
                       job.suffix, job.folder, std::chrono::milliseconds(0)};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<ItemOutcome>> repaired(count);
    std::size_t next = 0, saved_up_to = 0;
    std::uint64_t waiting = 0;  // bytes of the repaired copies not yet taken for saving
    bool stop = false;

    auto repair_items = [&] {
        detail::ItemRooms rooms;
        for (;;) {
            std::size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] {
                    return stop || next >= count || next < saved_up_to + job.jobs ||
                           (waiting < job.waiting_bytes &&
                            next < saved_up_to + job.jobs + kMoreWaiting);
                });
                if (stop || next >= count) return;
                i = next++;
            }
            std::optional<ItemOutcome> outcome;
            try {
                host.ReportProgress(ProgressCode::kRepairBegins, i);
                outcome = detail::RepairOneItem(repair, i, job.sources[i], rooms);
                ReportEnd(host, *outcome, i);
            } catch (...) {
                if (!outcome)
                    outcome = ItemOutcome{
                        false, {}, std::string(kLoadFailedText), "the run was stopped", {}};
            }
            std::lock_guard<std::mutex> lock(mutex);
            if (outcome->succeeded) waiting += outcome->bytes;
            repaired[i] = std::move(outcome);
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    // However this function is left, the threads are stopped and joined first.
    struct Joined {
        std::vector<std::thread>& threads;
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& stop;
        ~Joined() {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stop = true;
                changed.notify_all();
            }
            for (std::thread& t : threads) t.join();
        }
    } joined{threads, mutex, changed, stop};
    try {
        for (std::size_t t = 0; t < job.jobs && t < count; ++t) threads.emplace_back(repair_items);
    } catch (...) {
        // Fewer threads than asked still do the work; none at all, and the caller does it.
    }
    if (threads.empty()) return false;

    detail::SavedInThisRun saved;
    for (std::size_t i = 0; i < count; ++i) {
        ItemOutcome outcome;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return repaired[i].has_value(); });
            outcome = std::move(*repaired[i]);
            if (outcome.succeeded) waiting -= outcome.bytes;
        }
        try {
            if (outcome.succeeded) {
                std::string warning = std::move(outcome.warning);
                host.ReportProgress(ProgressCode::kSaveBegins, i);
                outcome = detail::SaveOneItem(save, i, outcome.path, &saved);
                if (outcome.succeeded) outcome.warning = std::move(warning);
                ReportEnd(host, outcome, i);
            }
        } catch (...) {
            outcome =
                ItemOutcome{false, {}, std::string(kLoadFailedText), "the run was stopped", {}};
        }
        outcomes.push_back(std::move(outcome));
        std::lock_guard<std::mutex> lock(mutex);
        saved_up_to = i + 1;
        changed.notify_all();
    }
    return true;
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
        outcomes.reserve(count);
        if (job.jobs > 1 && count > 1 && RepairOnThreadsSaveInOrder(job, outcomes)) {
            job.host->ReportProgress(ProgressCode::kRunOver, 0);
            return outcomes;
        }
        detail::SavedInThisRun saved;
        detail::ItemRooms rooms;
        for (std::size_t i = 0; i < count; ++i) {
            job.host->ReportProgress(ProgressCode::kRepairBegins, i);
            ItemOutcome outcome = detail::RepairOneItem(repair, i, job.sources[i], rooms);
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
