#include "runs/repair_and_save_worker.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "runs/run_texts.h"
#include "tests/runs/run_test_support.h"

namespace deckwright::testing {
namespace {

class RepairAndSaveRunTest : public ::testing::Test {
  protected:
    RunOutcomes Run(const std::vector<std::string>& sources, const std::string& suffix = "_r") {
        return RepairAndSaveWorker(RepairAndSaveJob{sources, &host, &files, suffix, out});
    }
    std::string RunFolder() { return files.real().system().RunFolder(); }

    ScratchDir scratch;
    FaultyFileOperations files{scratch.Folder("temp")};
    ScriptedHost host;
    std::string out = scratch.Folder("out");
};

// While the first save is held up, repairs run ahead of it: past `jobs` waiting copies only
// while those waiting take less than the job's bytes, and never past kMoreWaiting more.
TEST_F(RepairAndSaveRunTest, RepairsRunAheadOfASlowSaveOnlySoFar) {
    std::vector<std::string> sources;
    for (std::uint32_t i = 0; i < 16; ++i)
        sources.push_back(scratch.File("in/f" + std::to_string(i) + ".ppt", SamplePresentation(i)));
    for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{64} << 20}) {
        SCOPED_TRACE(budget);
        const std::size_t jobs = 2;
        const std::size_t cap = budget == 0 ? 1 : jobs - 1 + kMoreWaiting;
        std::atomic<std::size_t> most{0};
        auto note = [&](std::size_t now) {
            for (std::size_t m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
            }
        };
        files.before_item_folder = [&] { note(ItemFoldersIn(RunFolder()).size()); };
        // The first save is held up until the repairs have run as far ahead as they may (a
        // loaded machine takes its time), then a while longer for any going too far to show.
        // Two threads about to make their copies may each count the folders before the other's
        // is made, so the folders are counted while the save waits, too: nothing goes then,
        // and the newest was made beside all the others.
        bool first = true;
        files.before_move = [&](const std::string&, const std::string&) {
            if (!std::exchange(first, false)) return;
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (most.load() < cap && std::chrono::steady_clock::now() < give_up) {
                note(ItemFoldersIn(RunFolder()).size() - 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
        RepairAndSaveJob job{sources, &host, &files, "_r" + std::to_string(budget), out};
        job.jobs = jobs;
        job.waiting_bytes = budget;
        const RunOutcomes outcomes = RepairAndSaveWorker(job);
        ASSERT_EQ(outcomes.size(), sources.size());
        for (const ItemOutcome& o : outcomes) EXPECT_TRUE(o.succeeded) << o.message << o.detail;
        if (budget == 0) {
            EXPECT_LE(most.load(), cap)
                << "more than one other copy waited when a new one was made";
        } else {
            EXPECT_EQ(most.load(), cap) << "the repairs did not run ahead as far";
        }
        EXPECT_TRUE(ItemFoldersIn(RunFolder()).empty());
    }
}

TEST_F(RepairAndSaveRunTest, EachFileGoesThroughBothStagesBeforeTheNext) {
    std::vector<std::string> sources;
    for (std::uint32_t i = 0; i < 4; ++i)
        sources.push_back(
            scratch.File("in/f" + std::to_string(i) + ".ppt", SamplePresentation(i, i % 2 == 0)));
    sources.insert(sources.begin() + 2, scratch.Path("in/missing.ppt"));
    const RunOutcomes outcomes = Run(sources);

    EXPECT_EQ(host.events, (std::vector<ProgressEvent>{{ProgressCode::kRepairBegins, 0},
                                                       {ProgressCode::kItemSucceeded, 0},
                                                       {ProgressCode::kSaveBegins, 0},
                                                       {ProgressCode::kItemSucceeded, 0},
                                                       {ProgressCode::kRepairBegins, 1},
                                                       {ProgressCode::kItemSucceeded, 1},
                                                       {ProgressCode::kSaveBegins, 1},
                                                       {ProgressCode::kItemSucceeded, 1},
                                                       {ProgressCode::kRepairBegins, 2},
                                                       {ProgressCode::kItemFailed, 2},
                                                       {ProgressCode::kRepairBegins, 3},
                                                       {ProgressCode::kItemSucceeded, 3},
                                                       {ProgressCode::kSaveBegins, 3},
                                                       {ProgressCode::kItemSucceeded, 3},
                                                       {ProgressCode::kRepairBegins, 4},
                                                       {ProgressCode::kItemSucceeded, 4},
                                                       {ProgressCode::kSaveBegins, 4},
                                                       {ProgressCode::kItemSucceeded, 4},
                                                       {ProgressCode::kRunOver, 0}}));
    ASSERT_EQ(outcomes.size(), 5u);
    EXPECT_EQ(outcomes[2].message, kOpenFailedText);
    for (std::size_t i : {0u, 1u, 3u, 4u}) {
        SCOPED_TRACE(i);
        Bytes expected;
        RepairInMemory(ReadBytes(sources[i]), &expected);
        EXPECT_EQ(outcomes[i].path, out + PathOf(sources[i]).stem().string() + "_r.ppt");
        EXPECT_EQ(ReadBytes(outcomes[i].path), expected);
    }
    EXPECT_TRUE(ItemFoldersIn(RunFolder()).empty());
}

// A file saved early in the batch must not take the place of one read later: with the saved
// name of a/deck.ppt being deck.ppt in the folder of the second file.
TEST_F(RepairAndSaveRunTest, NoSaveReplacesAFileStillToBeRepaired) {
    const Bytes second = SamplePresentation(5);
    const std::vector<std::string> sources{scratch.File("in/a/deck.ppt", SamplePresentation(6)),
                                           scratch.File("out/deck.ppt", second)};
    host.overwrite_answers = {true, true};
    const RunOutcomes outcomes = Run(sources, "");
    EXPECT_TRUE(host.overwrite_questions.empty());
    EXPECT_EQ(outcomes[0].message, kSaveOverOriginalText);
    EXPECT_EQ(ReadBytes(sources[1]), second);
}

}  // namespace
}  // namespace deckwright::testing
