#include "engine/save_worker.h"

#include "engine/run_texts.h"

namespace deckwright {

std::string MakeSavedFileName(const std::string& name, const std::string& suffix) {
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? std::string() : name.substr(0, dot);
    return stem + suffix + ".ppt";
}

namespace {

// One item of the run. Returns true when the repaired copy is now at its destination; otherwise
// *why says what went wrong and the copy, if there is one, is where it was.
class SaveItem {
  public:
    SaveItem(const SaveJob& job, std::size_t index) : job_(job), index_(index) {}

    bool Run(const std::string& copy, std::string* why) {
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

}  // namespace

void SaveWorker(const SaveJob& job) {
    const auto& queue = *job.queue;
    const std::size_t count = queue.size();
    for (std::size_t i = 0; i < count; ++i) {
        job.host->ReportProgress(WM_SAVE_PROGRESS, ProgressCode::kSaveBegins, i);
        std::string why;
        if (SaveItem(job, i).Run(queue[i], &why)) {
            job.host->ReportProgress(WM_SAVE_PROGRESS, ProgressCode::kItemSucceeded, i);
        } else {
            job.host->ShowFailure(i, std::string(kSaveFailedText), why);
            job.host->ReportProgress(WM_SAVE_PROGRESS, ProgressCode::kItemFailed, i);
        }
        if (job.pacing.count() > 0) job.host->Pause(job.pacing);
    }
    job.host->ReportProgress(WM_SAVE_PROGRESS, ProgressCode::kRunOver, 0);
}

}  // namespace deckwright
