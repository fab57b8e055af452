#include "runs/repair_worker.h"

#include <exception>
#include <optional>
#include <vector>

#include "engine/repair.h"
#include "runs/held_copy.h"
#include "runs/run_items.h"
#include "runs/run_texts.h"

namespace deckwright {
namespace {

// Copies up to this long are held in memory while they are repaired.
constexpr std::uint64_t kHeldCopyLimit = std::uint64_t{4} << 20;

// Hands the bytes of an item's copy to the repair's pass on their way into the copy, so that the
// repair does not read the copy again for them; a small copy's bytes are kept, too. The rooms
// for both are the thread's, lent for the item.
class PassWatcher final : public CopyWatcher {
  public:
    explicit PassWatcher(detail::ItemRooms& rooms) : rooms_(rooms) {}
    ~PassWatcher() override {
        if (holding_) rooms_.held = std::move(held_);
    }
    PassWatcher(const PassWatcher&) = delete;
    PassWatcher& operator=(const PassWatcher&) = delete;

    void Begin(std::uint64_t length) override {
        feed_.emplace(length);
        if (length > kHeldCopyLimit) return;
        holding_ = true;
        held_ = std::move(rooms_.held);
        held_.clear();
        // All a held copy may take, at once: grown file by file, it would be taken afresh
        // several times over a batch.
        held_.reserve(static_cast<std::size_t>(kHeldCopyLimit));
    }
    void See(std::uint64_t pos, std::span<const std::uint8_t> bytes) override {
        if (!feed_) return;
        feed_->Take(pos, bytes);
        if (holding_ && pos == held_.size()) held_.insert(held_.end(), bytes.begin(), bytes.end());
    }
    std::span<std::uint8_t> Room(std::size_t size) override {
        if (rooms_.copy.size() < size) rooms_.copy = PageBuffer(size);
        return rooms_.copy.span().first(size);
    }
    SectorPassFeed* feed() { return feed_ ? &*feed_ : nullptr; }
    // The copy's bytes when it is small and all of them were seen; else nothing.
    std::optional<std::vector<std::uint8_t>> TakeHeld(std::uint64_t length) {
        if (!holding_ || held_.size() != length) return std::nullopt;
        holding_ = false;
        return std::move(held_);
    }

  private:
    detail::ItemRooms& rooms_;
    std::optional<SectorPassFeed> feed_;
    bool holding_ = false;
    std::vector<std::uint8_t> held_;
};

// One item of the run: its outcome, the host told of a failure already.
class RepairItem {
  public:
    RepairItem(const RepairJob& job, std::size_t index, detail::ItemRooms& rooms)
        : job_(job), index_(index), rooms_(rooms) {}
    // Whatever way the item ends without a repaired copy (an exception included), its item
    // folder goes with it.
    ~RepairItem() {
        if (!copy_.empty()) files().RemoveItemFolderOf(copy_);
    }

    ItemOutcome Run(const std::string& source) {
        std::string error;
        std::string name;
        {
            // Closed again before the copy: where opens are exclusive, the copy must be able to
            // read the source too.
            auto file = files().OpenForReading(source, &error);
            if (!file) return Fail(kOpenFailedText, source + ": " + error);
            name = files().FileNameOf(source);
            files().ProtectOriginal(source);
        }
        std::string folder;
        if (!files().CreateItemFolder(&folder, &error)) {
            return Fail(kLoadFailedText, "cannot make a temporary folder: " + error);
        }
        copy_ = folder + name;
        PassWatcher seen(rooms_);
        if (!files().CopyToTemporary(source, copy_, &error, &seen)) {
            return Fail(kLoadFailedText, "cannot copy " + source + " to " + copy_ + ": " + error);
        }
        auto file = files().OpenForReadWrite(copy_, &error);
        if (!file) return Fail(kOpenFailedText, "the temporary copy " + copy_ + ": " + error);
        // Not flushed: a crash loses only this working copy, never the user's file. A save that
        // replaces a file flushes what replaces it.
        RepairOutcome outcome;
        if (auto held = seen.TakeHeld(file->Length())) {
            // Its reads cannot fail; a write that fails is recorded in the file, said below.
            HeldCopy copy(*file, std::move(*held));
            outcome = RepairCompoundFile(copy, seen.feed());
            rooms_.held = copy.Release();
        } else {
            // A big copy's repair takes memory of its own; the copy room is not kept beside it.
            rooms_.copy = PageBuffer();
            outcome = RepairCompoundFile(*file, seen.feed());
        }
        if (outcome.sound && file->Failed()) {
            outcome = {false, "the copy could not be read or written: " + file->Error(), {}, {}};
        }
        const std::uint64_t bytes = file->Length();
        file.reset();  // closed before anything else happens to it
        // An unusable copy is never offered for saving.
        if (!outcome.sound) return Fail(std::string(kRepairFailedText) + outcome.problem, {});
        Pause();
        ItemOutcome done{true, copy_, {}, {}, {}, bytes};
        copy_.clear();  // the item's copy now: the caller's to save
        if (!outcome.warning.empty()) {
            done.warning = std::string(kRepairedWithWarningText) + outcome.warning;
            job_.host->ShowWarning(index_, done.warning);
        }
        return done;
    }

    ItemOutcome Fail(std::string_view text, const std::string& detail) const {
        job_.host->ShowFailure(index_, std::string(text), detail);
        return {false, {}, std::string(text), detail, {}};
    }

  private:
    FileOperations& files() const { return *job_.files; }
    void Pause() const {
        if (job_.pacing.count() > 0) job_.host->Pause(job_.pacing);
    }

    const RepairJob& job_;
    std::size_t index_;
    detail::ItemRooms& rooms_;
    std::string copy_;  // while the item runs
};

}  // namespace

namespace detail {

// Whatever goes wrong inside an item ends that item, never the run.
ItemOutcome RepairOneItem(const RepairJob& job, std::size_t index, const std::string& source,
                          ItemRooms& rooms) {
    try {
        RepairItem item(job, index, rooms);
        try {
            return item.Run(source);
        } catch (const std::exception& e) {
            return item.Fail(kLoadFailedText, std::string("internal error: ") + e.what());
        }
    } catch (...) {
        // Also what Fail itself may throw when memory is gone: said as far as it can be.
        return {false, {}, std::string(kLoadFailedText), "internal error", {}};
    }
}

}  // namespace detail

RunOutcomes RepairWorker(const RepairJob& job) {
    auto& queue = *job.queue;
    const std::size_t count = queue.size();
    RunOutcomes outcomes;
    try {
        outcomes.reserve(count);
        detail::ItemRooms rooms;
        for (std::size_t i = 0; i < count; ++i) {
            job.host->ReportProgress(ProgressCode::kRepairBegins, i);
            outcomes.push_back(detail::RepairOneItem(job, i, queue[i], rooms));
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
            outcomes.push_back({false, {}, std::string(kLoadFailedText), "the run was stopped", {}});
        }
    }
    job.host->ReportProgress(ProgressCode::kRunOver, 0);
    return outcomes;
}

}  // namespace deckwright
