#include "runs/repair_worker.h"

#include <exception>

#include "engine/repair.h"
#include "runs/run_texts.h"

namespace deckwright {
namespace {

// One item of the run: its outcome, the host told of a failure already.
class RepairItem {
  public:
    RepairItem(const RepairJob& job, std::size_t index) : job_(job), index_(index) {}

    ItemOutcome Run(const std::string& source) {
        std::string error;
        std::string name;
        {
            // Closed again before the copy: where opens are exclusive, the copy must be able to
            // read the source too.
            auto file = files().OpenForReading(source, &error);
            if (!file) return Fail(kOpenFailedText, source + ": " + error);
            name = files().FileNameOf(source);
        }
        std::string folder;
        if (!files().CreateItemFolder(&folder, &error)) {
            return Fail(kLoadFailedText, "cannot make a temporary folder: " + error);
        }
        const std::string copy = folder + name;
        if (!files().CopyReplacing(source, copy, &error)) {
            Discard(copy);
            return Fail(kLoadFailedText, "cannot copy to " + copy + ": " + error);
        }
        auto file = files().OpenForReadWrite(copy, &error);
        if (!file) {
            Discard(copy);
            return Fail(kOpenFailedText, "the temporary copy " + copy + ": " + error);
        }
        RepairOutcome outcome = RepairCompoundFile(*file);
        if (outcome.sound && file->Failed()) {
            outcome = {false, "the copy could not be read or written: " + file->Error()};
        }
        if (outcome.sound && !files().Flush(*file, &error)) {
            outcome = {false, "the copy could not be written: " + error};
        }
        if (!outcome.sound) {
            // An unusable copy is never offered for saving.
            file.reset();
            Discard(copy);
            return Fail(std::string(kRepairFailedText) + outcome.problem, {});
        }
        Pause();
        return {true, copy, {}, {}};  // the copy is closed before the success is reported
    }

    ItemOutcome Fail(std::string_view text, const std::string& detail) const {
        job_.host->ShowFailure(index_, std::string(text), detail);
        return {false, {}, std::string(text), detail};
    }

  private:
    FileOperations& files() const { return *job_.files; }
    void Pause() const {
        if (job_.pacing.count() > 0) job_.host->Pause(job_.pacing);
    }
    void Discard(const std::string& copy) const {
        std::string ignored;
        files().Delete(copy, &ignored);
        files().RemoveItemFolderOf(copy);
    }

    const RepairJob& job_;
    std::size_t index_;
};

// Whatever goes wrong inside an item ends that item, never the run.
ItemOutcome RunItem(const RepairJob& job, std::size_t index, const std::string& source) {
    RepairItem item(job, index);
    try {
        return item.Run(source);
    } catch (const std::exception& e) {
        return item.Fail(kLoadFailedText, std::string("internal error: ") + e.what());
    } catch (...) {
        return item.Fail(kLoadFailedText, "internal error");
    }
}

}  // namespace

RunOutcomes RepairWorker(const RepairJob& job) {
    auto& queue = *job.queue;
    const std::size_t count = queue.size();
    RunOutcomes outcomes;
    try {
        outcomes.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            job.host->ReportProgress(ProgressCode::kRepairBegins, i);
            outcomes.push_back(RunItem(job, i, queue[i]));
            const ItemOutcome& outcome = outcomes.back();
            queue[i] = outcome.succeeded ? outcome.path : std::string(kFailMarker);
            job.host->ReportProgress(
                outcome.succeeded ? ProgressCode::kItemSucceeded : ProgressCode::kItemFailed, i);
            if (outcome.succeeded && job.pacing.count() > 0) job.host->Pause(job.pacing);
        }
    } catch (...) {
        // Out of memory or a host that failed: the rest of the queue is not repaired.
        for (std::size_t i = outcomes.size(); i < count; ++i) {
            queue[i] = std::string(kFailMarker);
            outcomes.push_back({false, {}, std::string(kLoadFailedText), "the run was stopped"});
        }
    }
    job.host->ReportProgress(ProgressCode::kRunOver, 0);
    return outcomes;
}

}  // namespace deckwright
