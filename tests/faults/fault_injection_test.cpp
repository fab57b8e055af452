// Both runs, with the system failing at each step of their file work in turn: whatever fails,
// the user's files stay as they were, nothing half-written is left anywhere, and every file is
// either saved whole or failed with its message, its repaired copy kept only where that
// message says.

#include <map>

#include "runs/repair_and_save_worker.h"
#include "runs/repair_worker.h"
#include "runs/save_worker.h"
#include "tests/runs/run_test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/utf.h"
#endif

namespace deckwright::testing {
namespace {

// Says Yes to every overwrite question, cancels every Save As, and records the failures.
class YesHost final : public RunHost {
  public:
    void ReportProgress(ProgressCode code, std::size_t) override {
        if (code == ProgressCode::kRunOver) ++run_over;
    }
    void ShowFailure(std::size_t index, const std::string& text, const std::string&) override {
        failed[index] = text;
    }
    bool AskOverwrite(std::size_t, const std::string&) override { return true; }
    std::optional<std::string> AskSaveAsPath(std::size_t, const std::string&) override {
        return std::nullopt;
    }
    void Pause(std::chrono::milliseconds) override {}

    std::map<std::size_t, std::string> failed;
    int run_over = 0;
};

// Counts every step of file work, and fails the one at `fail_at` as told.
class StepFaults final : public FileFaults {
  public:
    Fault Before(FileStep step, const std::string& path) override {
        const std::size_t k = steps.size();
        steps.push_back({step, path});
        return k == fail_at ? fault : Fault{};
    }
    std::vector<std::pair<FileStep, std::string>> steps;
    std::size_t fail_at = static_cast<std::size_t>(-1);
    Fault fault;
};

const char* StepName(FileStep step) {
    static const char* const kNames[] = {"open",  "create", "read",   "write",
                                         "flush", "rename", "delete", "make folder"};
    return kNames[static_cast<int>(step)];
}

std::vector<Fault> FaultsFor(FileStep step) {
    switch (step) {
        case FileStep::kOpen:
            return {{FaultKind::kAccessDenied, 0}, {FaultKind::kIoError, 0}};
        case FileStep::kCreate:
        case FileStep::kMakeFolder:
            return {{FaultKind::kNoSpace, 0}, {FaultKind::kAccessDenied, 0}};
        case FileStep::kRead:
            // A short read is a file that ended early: it shrank, or vanished from under us.
            return {{FaultKind::kIoError, 0}, {FaultKind::kShort, 0}};
        case FileStep::kWrite:
            return {{FaultKind::kNoSpace, 0}, {FaultKind::kShort, 7}};
        case FileStep::kRename:
            return {{FaultKind::kIoError, 0}, {FaultKind::kOtherDevice, 0}};
        case FileStep::kFlush:
        case FileStep::kDelete:
            return {{FaultKind::kIoError, 0}};
    }
    return {};
}

enum class Runs { kOneByOne, kTwoStages };

// One batch of three files through the runs, with fault k injected, and what must hold after.
class Batch {
  public:
    Batch() {
        const Bytes inputs[] = {SamplePresentation(1, true), SamplePresentation(2),
                                SamplePresentation(3, true)};
        const char* names[] = {"a.ppt", "b.ppt", "c"};
        for (int i = 0; i < 3; ++i) {
            sources.push_back(scratch.File(std::string("in/") + names[i], inputs[i]));
            before.push_back(inputs[i]);
            times.push_back(fs::last_write_time(PathOf(sources.back())));
            Bytes repaired;
            RepairInMemory(inputs[i], &repaired);
            expected.push_back(repaired);
        }
        saved_names = {out + "a_r.ppt", out + "b_r.ppt", out + "c_r.ppt"};
        WriteBytes(saved_names[1], {'o', 'l', 'd'});  // replaced only whole, after a Yes
    }

    RunOutcomes Run(Runs runs) {
        FaultyFileOperations files(temp);
        RunOutcomes outcomes;
        if (runs == Runs::kOneByOne) {
            outcomes = RepairAndSaveWorker(RepairAndSaveJob{sources, &host, &files, "_r", out});
        } else {
            std::vector<std::string> queue = sources;
            const RunOutcomes repaired = RepairWorker(RepairJob{&queue, &host, &files, {}});
            outcomes = SaveWorker(SaveJob{&queue, &host, &files, "_r", out, {}});
            for (std::size_t i = 0; i < queue.size(); ++i) {
                if (!repaired[i].succeeded) outcomes[i] = repaired[i];
            }
        }
        // While the program still runs (the desktop program may stay open for hours): nothing
        // half-written beside a destination, and no item folder but those kept on purpose.
        EXPECT_TRUE(PartialFilesBelow(out).empty());
        for (const auto& folder : ItemFoldersIn(files.real().system().RunFolder())) {
            EXPECT_TRUE(Exists(folder + ".kept")) << folder << " is neither in use nor kept";
        }
        return outcomes;  // files goes here, as at the end of the program
    }

    void ExpectSafe(const RunOutcomes& outcomes) {
        EXPECT_GE(host.run_over, 1);
        std::vector<std::string> kept;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            SCOPED_TRACE(sources[i]);
            EXPECT_EQ(ReadBytes(sources[i]), before[i]) << "the user's file changed";
            EXPECT_EQ(fs::last_write_time(PathOf(sources[i])), times[i]);
            const ItemOutcome& outcome = outcomes[i];
            if (outcome.succeeded) {
                EXPECT_EQ(outcome.path, saved_names[i]);
                EXPECT_EQ(ReadBytes(saved_names[i]), expected[i]);
                continue;
            }
            EXPECT_FALSE(outcome.message.empty());
            EXPECT_EQ(host.failed.count(i), 1u) << "failed without a word";
            if (i == 1) {
                const Bytes now = ReadBytes(saved_names[1]);
                EXPECT_TRUE(now == Bytes({'o', 'l', 'd'}) || now == expected[1]);
            } else {
                EXPECT_FALSE(Exists(saved_names[i])) << "saved, yet reported as failed";
            }
            const auto at = outcome.detail.find("kept at ");
            if (at != std::string::npos) {
                kept.push_back(outcome.detail.substr(at + 8));
                EXPECT_EQ(ReadBytes(kept.back()), expected[i]) << "the kept copy is not whole";
            }
        }
        EXPECT_TRUE(PartialFilesBelow(Utf8(scratch.root())).empty());
        std::vector<std::string> left;
        for (const auto& path : FilesBelow(temp)) {
            if (!path.ends_with(".kept")) left.push_back(path);
        }
        std::sort(left.begin(), left.end());
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(left, kept) << "the temporary folder keeps what nobody was told of";
    }

    ScratchDir scratch;
    std::string temp = scratch.Folder("temp");
    std::string out = scratch.Folder("out");
    std::vector<std::string> sources, saved_names;
    std::vector<Bytes> before, expected;
    std::vector<fs::file_time_type> times;
    YesHost host;
};

// Which steps to fail: every one, but of a long series of reads or writes of the same file
// (the repair reading a copy sector by sector) only the first few and the last.
std::vector<std::size_t> StepsWorthFailing(
    const std::vector<std::pair<FileStep, std::string>>& steps) {
    std::vector<std::size_t> chosen;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        std::size_t run = 0;
        while (run < k && steps[k - run - 1] == steps[k]) ++run;
        const bool last = k + 1 == steps.size() || steps[k + 1] != steps[k];
        if (run < 3 || last) chosen.push_back(k);
    }
    return chosen;
}

class FaultInjectionTest : public ::testing::TestWithParam<Runs> {};

TEST_P(FaultInjectionTest, EveryStepFailingInTurnLosesNothing) {
    StepFaults faults;
    SetFileFaults(&faults);
    std::vector<std::pair<FileStep, std::string>> steps;
    {
        Batch clean;
        const RunOutcomes outcomes = clean.Run(GetParam());
        for (const auto& outcome : outcomes) EXPECT_TRUE(outcome.succeeded) << outcome.detail;
        clean.ExpectSafe(outcomes);
        steps = faults.steps;
    }
    std::size_t injected = 0;
    for (const std::size_t k : StepsWorthFailing(steps)) {
        for (const Fault& fault : FaultsFor(steps[k].first)) {
            SCOPED_TRACE("step " + std::to_string(k) + " (" + StepName(steps[k].first) + " " +
                         steps[k].second + "), fault " +
                         std::to_string(static_cast<int>(fault.kind)));
            Batch batch;
            faults.steps.clear();
            faults.fail_at = k;
            faults.fault = fault;
            batch.ExpectSafe(batch.Run(GetParam()));
            ++injected;
            if (HasFailure()) break;
        }
        if (HasFailure()) break;
    }
    SetFileFaults(nullptr);
    EXPECT_GT(injected, 30u);
}

INSTANTIATE_TEST_SUITE_P(BothRuns, FaultInjectionTest,
                         ::testing::Values(Runs::kOneByOne, Runs::kTwoStages),
                         [](const ::testing::TestParamInfo<Runs>& param) {
                             return param.param == Runs::kOneByOne ? "OneByOne" : "TwoStages";
                         });

#ifdef _WIN32
// What Windows adds: files another program holds, read-only files, and names beyond ASCII and
// beyond MAX_PATH.
TEST(WindowsFaults, SourceHeldByAnotherProgramAndReadOnlyDestination) {
    Batch batch;
    HANDLE held = CreateFileW(Widen(batch.sources[0]).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileAttributesW(Widen(batch.saved_names[1]).c_str(), FILE_ATTRIBUTE_READONLY));
    const RunOutcomes outcomes = batch.Run(Runs::kOneByOne);
    CloseHandle(held);
    SetFileAttributesW(Widen(batch.saved_names[1]).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(outcomes[0].message, "Uable to Open File ");
    EXPECT_FALSE(outcomes[1].succeeded);
    EXPECT_NE(outcomes[1].detail.find("kept at "), std::string::npos) << outcomes[1].detail;
    EXPECT_TRUE(outcomes[2].succeeded) << outcomes[2].detail;
    batch.ExpectSafe(outcomes);
}

TEST(WindowsFaults, LongAndNonAsciiPathsThroughBothRuns) {
    for (const Runs runs : {Runs::kOneByOne, Runs::kTwoStages}) {
        Batch batch;
        std::string deep = batch.scratch.Folder("long");
        while (deep.size() < 280) {
            deep += "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E Pr\xC3\xA4sentationen 0123456789\\";
            ASSERT_TRUE(CreateDirectoryW(WidePath(deep).c_str(), nullptr));
        }
        for (const char* sub : {"in\\", "out\\", "temp\\"}) {
            ASSERT_TRUE(CreateDirectoryW(WidePath(deep + sub).c_str(), nullptr));
        }
        for (std::size_t i = 0; i < batch.sources.size(); ++i) {
            const std::string moved = deep + "in\\M\xC3\xA4rz " + FileNameOf(batch.sources[i]);
            ASSERT_TRUE(MoveFileW(WidePath(batch.sources[i]).c_str(), WidePath(moved).c_str()));
            batch.sources[i] = moved;
        }
        batch.out = deep + "out\\";
        batch.temp = deep + "temp\\";
        const RunOutcomes outcomes = batch.Run(runs);
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            EXPECT_TRUE(outcomes[i].succeeded) << outcomes[i].detail;
            const std::string name = FileNameOf(batch.sources[i]);
            EXPECT_EQ(outcomes[i].path, batch.out + MakeSavedFileName(name, "_r"));
            auto saved = OsFile::Open(outcomes[i].path, OpenMode::kRead, Sharing::kShared, nullptr);
            ASSERT_NE(saved, nullptr);
            EXPECT_EQ(saved->Length(), batch.expected[i].size());
        }
    }
}
#endif

}  // namespace
}  // namespace deckwright::testing
