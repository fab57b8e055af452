#include "runs/save_worker.h"

#include <exception>

#include "runs/run_texts.h"

namespace deckwright {

std::string MakeSavedFileName(const std::string& name, const std::string& suffix) {
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? std::string() : name.substr(0, dot);
    return stem + suffix + ".ppt";
}

namespace {

// One item of the run. Returns true with the destination in *saved_at when the repaired copy is
// now there; otherwise *why says what went wrong and the copy, if there is one, is where it was.
class SaveItem {
  public:
    SaveItem(const SaveJob& job, std::size_t index) : job_(job), index_(index) {}

    bool Run(const std::string& copy, std::string* saved_at, std::string* why) {
        if (copy == kFailMarker) {
            Pause();
            *why = "the file was not repaired";
            return false;
        }
        std::string error;
        // A copy that cannot be read is not touched at all: whatever is there may be all the
        // user has left of the file.
        if (!files().OpenForReading(copy, &error)) {
            Pause();
            *why = "cannot read the repaired copy " + copy + ": " + error;
            return false;
        }
        std::string dest = job_.folder + MakeSavedFileName(files().FileNameOf(copy), job_.suffix);
        Pause();
        if (!files().OpenForReading(dest, &error)) {
            if (!files().MoveNoReplace(copy, dest, &error)) {
                *why = "cannot move the repaired copy to " + dest + ": " + error;
                return false;
            }
            files().RemoveItemFolderOf(copy);
            *saved_at = dest;
            return true;
        }
        if (!job_.host->AskOverwrite(index_, dest)) {
            auto chosen = job_.host->AskSaveAsPath(index_, dest);
            if (!chosen || chosen->empty()) {
                *why = dest + " exists and was kept; the repaired copy is still at " + copy;
                return false;
            }
            dest = *chosen;
        }
        // Only a copy that safely reached its destination is deleted.
        if (!files().CopyReplacing(copy, dest, &error)) {
            *why =
                "cannot replace " + dest + ": " + error + "; the repaired copy is still at " + copy;
            return false;
        }
        if (files().Delete(copy, &error)) files().RemoveItemFolderOf(copy);
        *saved_at = dest;
        return true;
    }

  private:
    FileOperations& files() const { return *job_.files; }
    void Pause() const {
        if (job_.pacing.count() > 0) job_.host->Pause(job_.pacing);
    }

    const SaveJob& job_;
    std::size_t index_;
};

// Whatever goes wrong inside an item ends that item, never the run.
ItemOutcome RunItem(const SaveJob& job, std::size_t index, const std::string& copy) {
    ItemOutcome outcome;
    std::string why;
    try {
        outcome.succeeded = SaveItem(job, index).Run(copy, &outcome.path, &why);
    } catch (const std::exception& e) {
        why = std::string("internal error: ") + e.what();
    } catch (...) {
        why = "internal error";
    }
    if (!outcome.succeeded) {
        outcome = {false, {}, std::string(kSaveFailedText), why};
        job.host->ShowFailure(index, outcome.message, outcome.detail);
    }
    return outcome;
}

}  // namespace

RunOutcomes SaveWorker(const SaveJob& job) {
    const auto& queue = *job.queue;
    const std::size_t count = queue.size();
    RunOutcomes outcomes;
    try {
        outcomes.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            job.host->ReportProgress(ProgressCode::kSaveBegins, i);
            outcomes.push_back(RunItem(job, i, queue[i]));
            job.host->ReportProgress(outcomes.back().succeeded ? ProgressCode::kItemSucceeded
                                                               : ProgressCode::kItemFailed,
                                     i);
            if (job.pacing.count() > 0) job.host->Pause(job.pacing);
        }
    } catch (...) {
        // Out of memory or a host that failed: the rest of the queue is not saved.
        outcomes.resize(count, ItemOutcome{false, {}, std::string(kSaveFailedText),
                                           "the run was stopped"});
    }
    job.host->ReportProgress(ProgressCode::kRunOver, 0);
    return outcomes;
}

}  // namespace deckwright
