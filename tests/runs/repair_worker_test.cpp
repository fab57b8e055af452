#include "runs/repair_worker.h"

#include <algorithm>

#include "runs/run_texts.h"
#include "tests/runs/run_test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/utf.h"
#endif

namespace deckwright::testing {
namespace {

using std::chrono::milliseconds;

class RepairRunTest : public ::testing::Test {
  protected:
    std::vector<std::string> Run(std::vector<std::string> queue, milliseconds pacing = {}) {
        RepairWorker(RepairJob{&queue, &host, &files, pacing});
        return queue;
    }
    // The temporary folder of the runs: a scratch folder, never the user's.
    std::string Temp() const { return scratch.Folder("temp"); }
    std::string RunFolder() { return files.real().system().RunFolder(); }

    ScratchDir scratch;
    FaultyFileOperations files{scratch.Folder("temp")};
    ScriptedHost host;
};

TEST_F(RepairRunTest, EmptyQueueReportsOnlyTheEnd) {
    EXPECT_TRUE(Run({}).empty());
    EXPECT_EQ(host.events, (std::vector<ProgressEvent>{{ProgressCode::kRunOver, 0}}));
    EXPECT_TRUE(host.failures.empty());
    EXPECT_TRUE(host.pauses.empty());
}

TEST_F(RepairRunTest, ThreeItemsWithAMissingMiddleOne) {
    const Bytes first = SamplePresentation(1, true), third = SamplePresentation(3);
    const std::string a = scratch.File("in/first.ppt", first);
    const std::string missing = scratch.Path("in/gone.ppt");
    const std::string c = scratch.File("in/third.ppt", third);

    std::vector<std::string> entries_when_reported;
    std::vector<std::string> queue{a, missing, c};
    host.on_progress = [&](ProgressCode code, std::size_t i) {
        // Entry i holds its final value whenever the host hears that the item ended.
        if (code == ProgressCode::kItemFailed || code == ProgressCode::kItemSucceeded) {
            entries_when_reported.push_back(queue[i]);
        }
    };
    const RunOutcomes outcomes = RepairWorker(RepairJob{&queue, &host, &files, milliseconds(0)});

    EXPECT_EQ(host.events, (std::vector<ProgressEvent>{{ProgressCode::kRepairBegins, 0},
                                                       {ProgressCode::kItemSucceeded, 0},
                                                       {ProgressCode::kRepairBegins, 1},
                                                       {ProgressCode::kItemFailed, 1},
                                                       {ProgressCode::kRepairBegins, 2},
                                                       {ProgressCode::kItemSucceeded, 2},
                                                       {ProgressCode::kRunOver, 0}}));
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue[1], "FAIL");
    EXPECT_EQ(entries_when_reported, queue);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].index, 1u);
    EXPECT_EQ(host.failures[0].text, "Uable to Open File ");
    // The failure box comes before the failure code.
    EXPECT_EQ(host.log[3], "failure");
    EXPECT_EQ(host.log[4], "progress 3");
    // What became of each item comes back from the run too.
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].succeeded);
    EXPECT_EQ(outcomes[0].path, queue[0]);
    EXPECT_FALSE(outcomes[1].succeeded);
    EXPECT_EQ(outcomes[1].message, "Uable to Open File ");
    EXPECT_NE(outcomes[1].detail.find(missing), std::string::npos) << outcomes[1].detail;
    EXPECT_TRUE(outcomes[2].succeeded);

    // Each copy keeps its source's name, sits in a folder of its own in the run folder, and
    // holds exactly what the repair step makes of the source.
    const Bytes* sources[] = {&first, nullptr, &third};
    for (std::size_t i : {0u, 2u}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(files.FileNameOf(queue[i]), files.FileNameOf(i == 0 ? a : c));
        EXPECT_EQ(queue[i].rfind(RunFolder(), 0), 0u) << queue[i];
        Bytes expected;
        ASSERT_TRUE(RepairInMemory(*sources[i], &expected).sound);
        EXPECT_EQ(ReadBytes(queue[i]), expected);
    }
    EXPECT_NE(PathOf(queue[0]).parent_path(), PathOf(queue[2]).parent_path());
}

// A copy whose structure is repaired but whose records are damaged is kept, and the user is
// told: the host before the item's success, the outcome for whoever reads it after the run.
TEST_F(RepairRunTest, DamagedRecordsAreSavedWithAWarningNotAsRepaired) {
    std::vector<std::string> queue = {scratch.File("in/a.ppt", SamplePresentation(3, true)),
                                      scratch.File("in/b.ppt", PresentationWithDamagedRecords(4, true))};
    const RunOutcomes outcomes = RepairWorker(RepairJob{&queue, &host, &files, {}});
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].succeeded && outcomes[0].warning.empty());
    EXPECT_TRUE(outcomes[1].succeeded);
    ASSERT_EQ(host.warnings.size(), 1u);
    EXPECT_EQ(outcomes[1].warning, host.warnings[0].text);
    EXPECT_EQ(host.warnings[0].index, 1u);
    EXPECT_EQ(host.warnings[0].text.rfind(std::string(kRepairedWithWarningText), 0), 0u);
    EXPECT_NE(host.warnings[0].text.find("offset 0"), std::string::npos) << host.warnings[0].text;
    EXPECT_TRUE(host.failures.empty());
    const auto warning = std::find(host.log.begin(), host.log.end(), "warning");
    ASSERT_NE(warning, host.log.end());
    EXPECT_EQ(*(warning + 1), "progress " + std::to_string(static_cast<int>(ProgressCode::kItemSucceeded)));
}

TEST_F(RepairRunTest, SourcesWithTheSameNameGetCopiesOfTheirOwn) {
    const Bytes one = SamplePresentation(4), two = SamplePresentation(5, true);
    const std::string a = scratch.File("left/Deck.ppt", one);
    const std::string b = scratch.File("right/Deck.ppt", two);
    const auto queue = Run({a, b});

    ASSERT_NE(queue[0], "FAIL");
    ASSERT_NE(queue[1], "FAIL");
    EXPECT_NE(queue[0], queue[1]);
    EXPECT_EQ(files.FileNameOf(queue[0]), "Deck.ppt");
    EXPECT_EQ(files.FileNameOf(queue[1]), "Deck.ppt");
    Bytes expected_one, expected_two;
    RepairInMemory(one, &expected_one);
    RepairInMemory(two, &expected_two);
    EXPECT_EQ(ReadBytes(queue[0]), expected_one);
    EXPECT_EQ(ReadBytes(queue[1]), expected_two);
}

TEST_F(RepairRunTest, SourcesAreOnlyRead) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(6, true));
    const std::string b = scratch.File("in/b.ppt", SamplePresentation(7));
    const Bytes before_a = ReadBytes(a), before_b = ReadBytes(b);
    const auto time_a = fs::last_write_time(PathOf(a));
    const auto time_b = fs::last_write_time(PathOf(b));

    Run({a, b, a});

    EXPECT_EQ(ReadBytes(a), before_a);
    EXPECT_EQ(ReadBytes(b), before_b);
    EXPECT_EQ(fs::last_write_time(PathOf(a)), time_a);
    EXPECT_EQ(fs::last_write_time(PathOf(b)), time_b);
}

TEST_F(RepairRunTest, PacingIsTwoPausesPerRepairedItemOnly) {
    const std::string a = scratch.File("in/a.ppt", SamplePresentation(8));
    Run({a, scratch.Path("in/missing.ppt")}, milliseconds(300));
    EXPECT_EQ(host.pauses, (std::vector<milliseconds>{milliseconds(300), milliseconds(300)}));
    // One pause before the success is reported, one after.
    EXPECT_EQ(host.log[0], "progress 1");
    EXPECT_EQ(host.log[1], "pause");
    EXPECT_EQ(host.log[2], "progress 4");
    EXPECT_EQ(host.log[3], "pause");
}

TEST_F(RepairRunTest, NonAsciiNamesWork) {
    const std::string a =
        scratch.File("in/Pr\xC3\xA4sentation M\xC3\xA4rz \xE2\x82\xAC.ppt", SamplePresentation(9));
    const auto queue = Run({a});
    ASSERT_NE(queue[0], "FAIL") << (host.failures.empty() ? "" : host.failures[0].detail);
    EXPECT_EQ(files.FileNameOf(queue[0]), "Pr\xC3\xA4sentation M\xC3\xA4rz \xE2\x82\xAC.ppt");
    EXPECT_TRUE(Exists(queue[0]));
}

// Every failure of the run: the box text, "FAIL", code 3, and no temporary copy left behind.
class RepairFailureTest : public RepairRunTest {
  protected:
    // text_prefix: the box text, or its start when what follows comes from the repair step.
    void ExpectFailedAlone(const std::vector<std::string>& queue, const std::string& text,
                           bool text_prefix = false) {
        EXPECT_EQ(queue, std::vector<std::string>{"FAIL"});
        EXPECT_EQ(host.events, (std::vector<ProgressEvent>{{ProgressCode::kRepairBegins, 0},
                                                           {ProgressCode::kItemFailed, 0},
                                                           {ProgressCode::kRunOver, 0}}));
        ASSERT_EQ(host.failures.size(), 1u);
        if (text_prefix) {
            EXPECT_EQ(host.failures[0].text.rfind(text, 0), 0u) << host.failures[0].text;
            EXPECT_GT(host.failures[0].text.size(), text.size()) << "no reason given";
        } else {
            EXPECT_EQ(host.failures[0].text, text);
            EXPECT_FALSE(host.failures[0].detail.empty());
        }
        EXPECT_TRUE(ItemFoldersIn(RunFolder()).empty()) << "an item folder was left behind";
    }
};

TEST_F(RepairFailureTest, CopyFails) {
    files.fail_copy = true;
    const auto queue = Run({scratch.File("in/a.ppt", SamplePresentation(10))});
    ExpectFailedAlone(queue, "Uable to Load File in memory");
}

TEST_F(RepairFailureTest, TemporaryFolderUnusable) {
    // The temporary folder's path leads through a plain file: nothing can be made there.
    const std::string blocker = scratch.File("blocker", {1, 2, 3});
    FaultyFileOperations blocked(blocker + static_cast<char>(fs::path::preferred_separator) + "t");
    std::vector<std::string> queue{scratch.File("in/a.ppt", SamplePresentation(11))};
    RepairWorker(RepairJob{&queue, &host, &blocked, milliseconds(0)});
    EXPECT_EQ(queue, std::vector<std::string>{"FAIL"});
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].text, "Uable to Load File in memory");
}

TEST_F(RepairFailureTest, CopyCannotBeOpenedForWriting) {
    files.fail_open_read_write = true;
    const auto queue = Run({scratch.File("in/a.ppt", SamplePresentation(12))});
    ExpectFailedAlone(queue, "Uable to Open File ");
}

TEST_F(RepairFailureTest, WritingTheCopyFails) {
    files.fail_writes_of_copy = true;
    const auto queue = Run({scratch.File("in/a.ppt", SamplePresentation(13, true))});
    ExpectFailedAlone(queue, std::string(kRepairFailedText), true);
}

TEST_F(RepairFailureTest, ACopyTheRepairCannotMakeSoundIsNotOffered) {
    // Not a compound file at all: text where sectors should be.
    Bytes text(5000);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>('a' + i % 26);
    Bytes repaired;
    const RepairOutcome expected = RepairInMemory(text, &repaired);
    const auto queue = Run({scratch.File("in/notes.ppt", text)});
    if (expected.sound) {
        EXPECT_EQ(ReadBytes(queue[0]), repaired);
    } else {
        ExpectFailedAlone(queue, std::string(kRepairFailedText), true);
        EXPECT_EQ(host.failures[0].text, std::string(kRepairFailedText) + expected.problem);
    }
}

TEST_F(RepairFailureTest, MissingSource) {
    const auto queue = Run({scratch.Path("in/nothing-here.ppt")});
    ExpectFailedAlone(queue, "Uable to Open File ");
}

// An item that ended on an exception (memory gone in a file of 40,000 nested
// storages) used to leave its copy in the temporary folder.
TEST_F(RepairFailureTest, AnItemThatThrowsLeavesNothingBehind) {
    files.throw_in_repair = true;
    const auto queue = Run({scratch.File("in/a.ppt", SamplePresentation(15, true))});
    ExpectFailedAlone(queue, "Uable to Load File in memory");
    EXPECT_NE(host.failures[0].detail.find("internal error"), std::string::npos);
}

// The copy used to keep the source's permissions: a read-only presentation gave a read-only
// copy, which the repair could not open for writing.
TEST_F(RepairRunTest, AReadOnlySourceGivesACopyItsOwnerMayWrite) {
    const std::string a = scratch.File("in/readonly.ppt", SamplePresentation(16, true));
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(Widen(a).c_str(), FILE_ATTRIBUTE_READONLY));
#else
    fs::permissions(PathOf(a),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#endif
    const auto queue = Run({a});
    ASSERT_NE(queue[0], "FAIL") << host.failures[0].detail;
#ifdef _WIN32
    EXPECT_FALSE(GetFileAttributesW(Widen(queue[0]).c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(Widen(a).c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    EXPECT_NE(fs::status(PathOf(queue[0])).permissions() & fs::perms::owner_write, fs::perms::none);
#endif
    Bytes expected;
    RepairInMemory(SamplePresentation(16, true), &expected);
    EXPECT_EQ(ReadBytes(queue[0]), expected);
}

#ifndef _WIN32
// The run used to copy /dev/zero until the disk was full, and to wait forever on a pipe.
TEST_F(RepairFailureTest, OnlyRegularFilesAreTaken) {
    const std::string pipe = scratch.Path("in/pipe.ppt");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string folder = scratch.Folder("in/folder.ppt");
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/zero", "it is a device, not a file"},
        {pipe, "it is a pipe, not a file"},
        {folder.substr(0, folder.size() - 1), "it is a folder, not a file"}};
    for (const auto& [path, why] : cases) {
        SCOPED_TRACE(path);
        host = {};
        const auto queue = Run({path});
        ExpectFailedAlone(queue, "Uable to Open File ");
        EXPECT_EQ(host.failures[0].detail, path + ": " + why);
    }
}
#endif

#ifdef _WIN32
TEST_F(RepairFailureTest, SourceHeldOpenWithoutSharing) {
    const std::string a = scratch.File("in/locked.ppt", SamplePresentation(14));
    HANDLE lock = CreateFileW(Widen(a).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const auto queue = Run({a});
    CloseHandle(lock);
    ExpectFailedAlone(queue, "Uable to Open File ");
}
#endif

}  // namespace
}  // namespace deckwright::testing
