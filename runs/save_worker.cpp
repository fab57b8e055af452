#include "runs/save_worker.h"

#include <exception>
#include <optional>

#include "runs/run_items.h"
#include "runs/run_texts.h"

namespace deckwright {

std::string MakeSavedFileName(const std::string& name, const std::string& suffix) {
    // A name without an extension is all stem; so is a leading dot (".profile").
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    return stem + suffix + ".ppt";
}

std::string SuffixProblem(const std::string& suffix) {
#ifdef _WIN32
    // A colon names a hidden stream of another file.
    constexpr const char* kSeparators = "/\\:";
#else
    constexpr const char* kSeparators = "/\\";
#endif
    if (suffix.find_first_of(kSeparators) != std::string::npos) {
        return "a suffix cannot hold a path separator";
    }
    if (suffix.find("..") != std::string::npos) return "a suffix cannot hold \"..\"";
    for (const char c : suffix) {
        if (static_cast<unsigned char>(c) < 0x20) return "a suffix cannot hold control characters";
    }
    return {};
}

namespace detail {

void SavedInThisRun::Add(FileOperations& files, const std::string& path) {
    FileId id;
    if (files.IdentityOf(path, &id)) saved_.insert(id);
}

bool SavedInThisRun::Contains(FileOperations& files, const std::string& path) const {
    FileId id;
    return files.IdentityOf(path, &id) && saved_.count(id) > 0;
}

}  // namespace detail

namespace {

// One item of the run. A repaired copy that does not reach its destination is kept, and the
// outcome's detail says where; it is never deleted before it is safely saved.
class SaveItem {
  public:
    SaveItem(const SaveJob& job, std::size_t index, detail::SavedInThisRun& saved)
        : job_(job), index_(index), saved_(saved) {}

    ItemOutcome Run(const std::string& copy) {
        if (copy == kFailMarker) {
            Pause();
            return Failed(kSaveFailedText, "the file was not repaired");
        }
        std::string error;
        // A copy that cannot be read is not touched at all: whatever is there may be all the
        // user has left of the file.
        copy_ = copy;
        if (!files().OpenForReading(copy, &error)) {
            Pause();
            return Kept(kSaveFailedText, "cannot read the repaired copy: " + error);
        }
        if (const std::string problem = SuffixProblem(job_.suffix); !problem.empty()) {
            return Kept(kSaveFailedText, problem);
        }
        const std::string dest =
            job_.folder + MakeSavedFileName(files().FileNameOf(copy), job_.suffix);
        Pause();
        // Moved without a look first: a file that appears in between is met as existing.
        switch (files().MoveNoReplace(copy, dest, &error)) {
            case MoveResult::kMoved:
                return Saved(dest);
            case MoveResult::kFailed:
                return Kept(kSaveFailedText,
                            "cannot move the repaired copy to " + dest + ": " + error);
            case MoveResult::kDestinationExists:
                break;
        }
        return Replace(dest);
    }

  private:
    // dest exists: replaced only when the user agrees and it is neither theirs nor this run's.
    ItemOutcome Replace(std::string dest) {
        if (auto refused = Refused(dest)) return *refused;
        if (!job_.host->AskOverwrite(index_, dest)) {
            auto chosen = job_.host->AskSaveAsPath(index_, dest);
            if (!chosen || chosen->empty())
                return Kept(kSaveFailedText, dest + " exists and was kept");
            dest = *chosen;
            if (auto refused = Refused(dest)) return *refused;
        }
        std::string error;
        if (!files().CopyReplacing(copy_, dest, &error)) {
            return Kept(kSaveFailedText, "cannot replace " + dest + ": " + error);
        }
        return Saved(dest);
    }

    // The item's failure when dest must never be replaced; nothing when it may be.
    std::optional<ItemOutcome> Refused(const std::string& dest) {
        if (files().IsOriginal(dest)) {
            return Kept(kSaveOverOriginalText, dest + " is a file being repaired");
        }
        if (saved_.Contains(files(), dest)) {
            return Kept(kSaveOverSavedText, dest + " was saved from another file in this run");
        }
        return std::nullopt;
    }

    ItemOutcome Saved(const std::string& dest) {
        files().RemoveItemFolderOf(copy_);
        saved_.Add(files(), dest);
        return {true, dest, {}, {}, {}};
    }
    ItemOutcome Kept(std::string_view text, const std::string& why) {
        FileId id;
        if (files().KeepItemFolderOf(copy_)) {
            return Failed(text, why + "; the repaired copy is kept at " + copy_);
        }
        if (files().IdentityOf(copy_, &id)) {
            return Failed(text, why + "; the repaired copy is at " + copy_);
        }
        return Failed(text, why + "; the repaired copy " + copy_ + " is gone");
    }
    ItemOutcome Failed(std::string_view text, const std::string& why) {
        job_.host->ShowFailure(index_, std::string(text), why);
        return {false, {}, std::string(text), why, {}};
    }

    FileOperations& files() const { return *job_.files; }
    void Pause() const {
        if (job_.pacing.count() > 0) job_.host->Pause(job_.pacing);
    }

    const SaveJob& job_;
    std::size_t index_;
    detail::SavedInThisRun& saved_;
    std::string copy_;
};

}  // namespace

namespace detail {

// Whatever goes wrong inside an item ends that item, never the run.
ItemOutcome SaveOneItem(const SaveJob& job, std::size_t index, const std::string& copy,
                        SavedInThisRun* saved) {
    std::string why;
    try {
        return SaveItem(job, index, *saved).Run(copy);
    } catch (const std::exception& e) {
        why = std::string("internal error: ") + e.what();
    } catch (...) {
        why = "internal error";
    }
    job.host->ShowFailure(index, std::string(kSaveFailedText), why);
    return {false, {}, std::string(kSaveFailedText), why, {}};
}

}  // namespace detail

RunOutcomes SaveWorker(const SaveJob& job) {
    const auto& queue = *job.queue;
    const std::size_t count = queue.size();
    RunOutcomes outcomes;
    try {
        detail::SavedInThisRun saved;
        outcomes.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            job.host->ReportProgress(ProgressCode::kSaveBegins, i);
            outcomes.push_back(detail::SaveOneItem(job, i, queue[i], &saved));
            job.host->ReportProgress(outcomes.back().succeeded ? ProgressCode::kItemSucceeded
                                                               : ProgressCode::kItemFailed,
                                     i);
            if (job.pacing.count() > 0) job.host->Pause(job.pacing);
        }
    } catch (...) {
        // Out of memory or a host that failed: the rest of the queue is not saved.
        outcomes.resize(count, ItemOutcome{false, {}, std::string(kSaveFailedText),
                                           "the run was stopped", {}});
    }
    job.host->ReportProgress(ProgressCode::kRunOver, 0);
    return outcomes;
}

}  // namespace deckwright
