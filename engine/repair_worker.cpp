#include "engine/repair_worker.h"

#include "engine/repair.h"
#include "engine/run_texts.h"

namespace deckwright {
namespace {

// One item of the run: true with the repaired copy's path in *copy_path, or false once the host
// has been told why.
class RepairItem {
  public:
    RepairItem(const RepairJob& job, std::size_t index) : job_(job), index_(index) {}

    bool Run(const std::string& source, std::string* copy_path) {
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
        *copy_path = copy;
        return true;  // the copy is closed before the success is reported
    }

  private:
    FileOperations& files() const { return *job_.files; }
    void Pause() const {
        if (job_.pacing.count() > 0) job_.host->Pause(job_.pacing);
    }
    bool Fail(std::string_view text, const std::string& detail) const {
        job_.host->ShowFailure(index_, std::string(text), detail);
        return false;
    }
    void Discard(const std::string& copy) const {
        std::string ignored;
        files().Delete(copy, &ignored);
        files().RemoveItemFolderOf(copy);
    }

    const RepairJob& job_;
    std::size_t index_;
};

}  // namespace

void RepairWorker(const RepairJob& job) {
    auto& queue = *job.queue;
    const std::size_t count = queue.size();
    for (std::size_t i = 0; i < count; ++i) {
        job.host->ReportProgress(WM_REPAIR_PROGRESS, ProgressCode::kRepairBegins, i);
        std::string copy;
        if (RepairItem(job, i).Run(queue[i], &copy)) {
            queue[i] = copy;
            job.host->ReportProgress(WM_REPAIR_PROGRESS, ProgressCode::kItemSucceeded, i);
            if (job.pacing.count() > 0) job.host->Pause(job.pacing);
        } else {
            queue[i] = std::string(kFailMarker);
            job.host->ReportProgress(WM_REPAIR_PROGRESS, ProgressCode::kItemFailed, i);
        }
    }
    job.host->ReportProgress(WM_REPAIR_PROGRESS, ProgressCode::kRunOver, 0);
}

}  // namespace deckwright
