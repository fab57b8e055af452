#include "runs/save_worker.h"

#include "runs/repair_worker.h"
#include "runs/run_texts.h"
#include "tests/runs/run_test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/utf.h"
#endif

namespace deckwright::testing {
namespace {

using std::chrono::milliseconds;

TEST(MakeSavedFileName, ReplacesTheLastExtensionWithLowerCasePpt) {
    EXPECT_EQ(MakeSavedFileName("Deck.ppt", "_fixed"), "Deck_fixed.ppt");
    EXPECT_EQ(MakeSavedFileName("Deck.ppt", ""), "Deck.ppt");
    EXPECT_EQ(MakeSavedFileName("Deck.PPT", "_fixed"), "Deck_fixed.ppt");
    EXPECT_EQ(MakeSavedFileName("a.b.ppt", "_fixed"), "a.b_fixed.ppt");
    EXPECT_EQ(MakeSavedFileName("slides.pps", " (2)"), "slides (2).ppt");
}

// The naming rule used to drop a name without a '.': "alpha" and "beta" both became "_r.ppt",
// and with an empty suffix the saved file was the hidden ".ppt".
TEST(MakeSavedFileName, ANameWithoutExtensionIsAllStem) {
    EXPECT_EQ(MakeSavedFileName("alpha", "_r"), "alpha_r.ppt");
    EXPECT_EQ(MakeSavedFileName("beta", "_r"), "beta_r.ppt");
    EXPECT_EQ(MakeSavedFileName("report", ""), "report.ppt");
    EXPECT_EQ(MakeSavedFileName(".deck", "_r"), ".deck_r.ppt");
}

TEST(SuffixProblem, OnlyPlainTextMayFollowTheName) {
    EXPECT_EQ(SuffixProblem(""), "");
    EXPECT_EQ(SuffixProblem("_fixed (2) v1.0"), "");
    for (const char* bad : {"/../../x", "a/b", "a\\b", "..", "_..", "\x01", "a\nb"}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(SuffixProblem(bad), "");
    }
}

// A save run over repaired copies made by a real repair run in a scratch temporary folder.
class SaveRunTest : public ::testing::Test {
  protected:
    // Repairs sources (written from bytes) and returns the repair queue.
    std::vector<std::string> Repaired(const std::vector<std::pair<std::string, Bytes>>& sources) {
        std::vector<std::string> queue;
        for (const auto& [name, bytes] : sources)
            queue.push_back(scratch.File("in/" + name, bytes));
        ScriptedHost repair_host;
        RepairWorker(RepairJob{&queue, &repair_host, &files, milliseconds(0)});
        for (const auto& entry : queue) EXPECT_NE(entry, "FAIL");
        files.copies = files.moves = files.deletes = 0;  // count the save run's only
        return queue;
    }
    RunOutcomes Save(const std::vector<std::string>& queue, const std::string& suffix = "_fixed",
                     milliseconds pacing = {}) {
        return SaveWorker(SaveJob{&queue, &host, &files, suffix, out, pacing});
    }
    std::vector<ProgressEvent> Events(
        std::initializer_list<std::pair<ProgressCode, std::size_t>> list) {
        std::vector<ProgressEvent> events;
        for (const auto& [code, index] : list) events.push_back({code, index});
        return events;
    }
    std::string RunFolder() { return files.real().system().RunFolder(); }

    ScratchDir scratch;
    FaultyFileOperations files{scratch.Folder("temp")};
    ScriptedHost host;
    std::string out = scratch.Folder("out");
};

TEST_F(SaveRunTest, EmptyQueueReportsOnlyTheEnd) {
    Save({});
    EXPECT_EQ(host.events, Events({{ProgressCode::kRunOver, 0}}));
    EXPECT_TRUE(host.failures.empty());
}

TEST_F(SaveRunTest, FreeDestinationTakesTheCopyWithoutAQuestion) {
    const auto queue = Repaired({{"Deck.PPT", SamplePresentation(1, true)}});
    const Bytes repaired = ReadBytes(queue[0]);
    Save(queue);
    EXPECT_EQ(host.events, Events({{ProgressCode::kSaveBegins, 0},
                                   {ProgressCode::kItemSucceeded, 0},
                                   {ProgressCode::kRunOver, 0}}));
    EXPECT_TRUE(host.overwrite_questions.empty());
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), repaired);
    EXPECT_FALSE(Exists(queue[0]));
    EXPECT_EQ(FoldersBelow(RunFolder()), 0u) << "the emptied item folder stays";
}

TEST_F(SaveRunTest, ThreeItemsWithAFailedMiddleOne) {
    auto queue = Repaired({{"a.b.ppt", SamplePresentation(2)}, {"report", SamplePresentation(3)}});
    queue.insert(queue.begin() + 1, "FAIL");
    const RunOutcomes outcomes = Save(queue);
    EXPECT_EQ(host.events, Events({{ProgressCode::kSaveBegins, 0},
                                   {ProgressCode::kItemSucceeded, 0},
                                   {ProgressCode::kSaveBegins, 1},
                                   {ProgressCode::kItemFailed, 1},
                                   {ProgressCode::kSaveBegins, 2},
                                   {ProgressCode::kItemSucceeded, 2},
                                   {ProgressCode::kRunOver, 0}}));
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].index, 1u);
    EXPECT_EQ(host.failures[0].text,
              "Uable to Save File, Either the file already exit,\nor it is used by some other "
              "program");
    EXPECT_EQ(host.log[3], "failure");
    EXPECT_EQ(host.log[4], "progress 3");
    EXPECT_TRUE(Exists(out + "a.b_fixed.ppt"));
    EXPECT_TRUE(Exists(out + "report_fixed.ppt"));
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].path, out + "a.b_fixed.ppt");
    EXPECT_FALSE(outcomes[1].succeeded);
    EXPECT_EQ(outcomes[1].message, host.failures[0].text);
    EXPECT_EQ(outcomes[1].detail, "the file was not repaired");
    EXPECT_EQ(outcomes[2].path, out + "report_fixed.ppt");
}

TEST_F(SaveRunTest, FailEntryTouchesNoFile) {
    Save({"FAIL"}, "_fixed", milliseconds(300));
    EXPECT_EQ(host.events, Events({{ProgressCode::kSaveBegins, 0},
                                   {ProgressCode::kItemFailed, 0},
                                   {ProgressCode::kRunOver, 0}}));
    EXPECT_TRUE(host.overwrite_questions.empty());
    EXPECT_TRUE(host.save_as_requests.empty());
    EXPECT_EQ(files.copies + files.moves + files.deletes, 0);
    EXPECT_EQ(host.pauses.size(), 2u);
}

TEST_F(SaveRunTest, PacingIsTwoPausesPerItem) {
    Save(Repaired({{"a.ppt", SamplePresentation(4)}}), "", milliseconds(300));
    EXPECT_EQ(host.pauses, (std::vector<milliseconds>{milliseconds(300), milliseconds(300)}));
    EXPECT_EQ(host.log.back(), "progress 0");
    EXPECT_EQ(host.log[host.log.size() - 2], "pause");
}

TEST_F(SaveRunTest, ExistingDestinationReplacedOnYes) {
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(5, true)}});
    const Bytes repaired = ReadBytes(queue[0]);
    scratch.File("out/Deck_fixed.ppt", {'o', 'l', 'd'});
    host.overwrite_answers = {true};
    Save(queue);
    EXPECT_EQ(host.overwrite_questions, std::vector<std::string>{out + "Deck_fixed.ppt"});
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemSucceeded);
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), repaired);
    EXPECT_FALSE(Exists(queue[0]));
    EXPECT_EQ(FoldersBelow(RunFolder()), 0u);
    EXPECT_EQ(FilesBelow(out).size(), 1u) << "a file written beside the destination stayed";
}

TEST_F(SaveRunTest, ExistingDestinationNoThenSaveAs) {
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(6)}});
    const Bytes repaired = ReadBytes(queue[0]);
    scratch.File("out/Deck_fixed.ppt", {'o', 'l', 'd'});
    const std::string other = scratch.Path("elsewhere/Chosen.ppt");
    host.overwrite_answers = {false};
    host.save_as_answers = {other};
    const RunOutcomes outcomes = Save(queue);
    EXPECT_EQ(host.save_as_requests, std::vector<std::string>{out + "Deck_fixed.ppt"});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].path, other) << "the outcome says where the file went";
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemSucceeded);
    EXPECT_EQ(ReadBytes(other), repaired);
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(Exists(queue[0]));
}

TEST_F(SaveRunTest, ExistingDestinationNoThenCancelKeepsTheCopy) {
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(7)}});
    const Bytes repaired = ReadBytes(queue[0]);
    scratch.File("out/Deck_fixed.ppt", {'o', 'l', 'd'});
    host.overwrite_answers = {false};
    host.save_as_answers = {std::nullopt};
    Save(queue);
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemFailed);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].text, kSaveFailedText);
    EXPECT_EQ(ReadBytes(queue[0]), repaired);
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), (Bytes{'o', 'l', 'd'}));
}

// The save run used to ask to replace the file it had saved a moment before, so that a Yes (or
// the command line's --overwrite) lost the first repaired file for good.
TEST_F(SaveRunTest, AFileThisRunSavedIsNeverReplaced) {
    // Deck.ppt and Deck.PPT both become Deck_fixed.ppt: the second finds the first.
    std::vector<std::string> queue = Repaired({{"a/Deck.ppt", SamplePresentation(8)}});
    const auto second = Repaired({{"b/Deck.PPT", SamplePresentation(9, true)}});
    queue.push_back(second[0]);
    const Bytes first_repaired = ReadBytes(queue[0]), second_repaired = ReadBytes(queue[1]);
    host.overwrite_answers = {true};  // would be Yes; it must not be asked
    const RunOutcomes outcomes = Save(queue);
    EXPECT_EQ(host.log, (std::vector<std::string>{"progress 2", "progress 4", "progress 2",
                                                  "failure", "progress 3", "progress 0"}));
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), first_repaired);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].text, kSaveOverSavedText);
    // The second copy is kept, and the message says where.
    EXPECT_NE(outcomes[1].detail.find("kept at " + queue[1]), std::string::npos)
        << outcomes[1].detail;
    EXPECT_EQ(ReadBytes(queue[1]), second_repaired);
}

// The save run used to ask the overwrite question about the user's own file when the save
// folder was its folder and the suffix empty, and a Yes replaced it.
TEST_F(SaveRunTest, AFileBeingRepairedIsNeverReplaced) {
    const Bytes original = SamplePresentation(18, true);
    const std::string source = scratch.File("in/Deck.ppt", original);
    std::vector<std::string> queue{source};
    RepairWorker(RepairJob{&queue, &host, &files, {}});
    ASSERT_NE(queue[0], "FAIL");
    host.overwrite_answers = {true};
    const RunOutcomes outcomes =
        SaveWorker(SaveJob{&queue, &host, &files, "", scratch.Folder("in"), {}});
    EXPECT_TRUE(host.overwrite_questions.empty()) << "asked about replacing the original";
    ASSERT_FALSE(outcomes[0].succeeded);
    EXPECT_EQ(outcomes[0].message, kSaveOverOriginalText);
    EXPECT_NE(outcomes[0].detail.find("kept at " + queue[0]), std::string::npos);
    EXPECT_EQ(ReadBytes(source), original);
    EXPECT_TRUE(Exists(queue[0]));

    // Nor when a link leads to it.
    const std::string link = out + "Deck_fixed.ppt";
#ifdef _WIN32
    ASSERT_TRUE(CreateHardLinkW(Widen(link).c_str(), Widen(source).c_str(), nullptr));
#else
    fs::create_symlink(PathOf(source), PathOf(link));
#endif
    EXPECT_EQ(Save(queue)[0].message, kSaveOverOriginalText);
    EXPECT_TRUE(host.overwrite_questions.empty());

    // Nor when the answer is No and the Save As path is the original.
    scratch.File("out/Deck_other.ppt", {'o', 'l', 'd'});
    host.overwrite_answers = {false};
    host.save_as_answers = {source};
    EXPECT_EQ(Save(queue, "_other")[0].message, kSaveOverOriginalText);
    EXPECT_EQ(ReadBytes(source), original);
    EXPECT_EQ(ReadBytes(link), original);
    EXPECT_TRUE(Exists(queue[0]));
}

// A file that appeared between the save run's look and its move was reported as "File
// exists" even when replacing was wanted, and the copy was left unsaid.
TEST_F(SaveRunTest, ADestinationThatAppearsBeforeTheMoveIsAskedAbout) {
    const auto queue =
        Repaired({{"Deck.ppt", SamplePresentation(19, true)}, {"Two.ppt", SamplePresentation(20)}});
    const Bytes repaired = ReadBytes(queue[0]);
    files.before_move = [&](const std::string&, const std::string& to) { WriteBytes(to, {'n'}); };
    host.overwrite_answers = {true, false};
    host.save_as_answers = {std::nullopt};
    const RunOutcomes outcomes = Save(queue);
    EXPECT_EQ(host.overwrite_questions,
              (std::vector<std::string>{out + "Deck_fixed.ppt", out + "Two_fixed.ppt"}));
    EXPECT_TRUE(outcomes[0].succeeded);
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), repaired);
    EXPECT_FALSE(outcomes[1].succeeded);
    EXPECT_EQ(ReadBytes(out + "Two_fixed.ppt"), (Bytes{'n'}));
    EXPECT_NE(outcomes[1].detail.find("kept at " + queue[1]), std::string::npos)
        << outcomes[1].detail;
    EXPECT_TRUE(PartialFilesBelow(out).empty());
}

// The runs used to leave the copies of failed saves in the temporary folder without a word,
// and every other copy it made stayed there too.
TEST_F(SaveRunTest, AnUnsavedCopyIsKeptAndSaidAndNothingElseOutlivesTheProgram) {
    const std::string temp = scratch.Folder("temp2");
    std::string kept_copy;
    {
        FaultyFileOperations own(temp);
        std::vector<std::string> queue{scratch.File("in/Deck.ppt", SamplePresentation(21)),
                                       scratch.File("in/Other.ppt", SamplePresentation(22))};
        ScriptedHost repair_host;
        RepairWorker(RepairJob{&queue, &repair_host, &own, {}});
        // Only the first is saved, into a folder that is not there.
        const std::vector<std::string> first{queue[0]};
        const RunOutcomes outcomes =
            SaveWorker(SaveJob{&first, &host, &own, "", scratch.Path("missing") + "/x/", {}});
        ASSERT_FALSE(outcomes[0].succeeded);
        EXPECT_NE(outcomes[0].detail.find("kept at " + queue[0]), std::string::npos)
            << outcomes[0].detail;
        kept_copy = queue[0];
        EXPECT_TRUE(Exists(queue[1]));
    }  // the program ends
    EXPECT_TRUE(Exists(kept_copy));
    std::vector<std::string> left;
    for (const auto& path : FilesBelow(temp)) {
        if (!path.ends_with(".kept")) left.push_back(path);  // the marks of kept item folders
    }
    EXPECT_EQ(left, std::vector<std::string>{kept_copy});
}

// The specified run deleted the repaired copy even when replacing the destination failed.
TEST_F(SaveRunTest, CopyNotSavedIsNeverDeleted) {
    const auto queue =
        Repaired({{"Deck.ppt", SamplePresentation(10)}, {"Two.ppt", SamplePresentation(11)}});
    const Bytes one = ReadBytes(queue[0]), two = ReadBytes(queue[1]);
    scratch.File("out/Deck_fixed.ppt", {'o', 'l', 'd'});
    scratch.File("out/Two_fixed.ppt", {'o', 'l', 'd'});
    // Yes, but the replacing copy fails; No + Save As into a folder that does not exist.
    host.overwrite_answers = {true, false};
    host.save_as_answers = {scratch.Path("missing") + "/sub/Chosen.ppt"};
    files.fail_copy = true;
    Save(queue);
    files.fail_copy = false;
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemFailed);
    EXPECT_EQ(host.events[3].code, ProgressCode::kItemFailed);
    EXPECT_EQ(files.deletes, 0);
    EXPECT_EQ(ReadBytes(queue[0]), one);
    EXPECT_EQ(ReadBytes(queue[1]), two);
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(SaveRunTest, SaveAsIntoAMissingFolderKeepsTheCopy) {
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(12)}});
    scratch.File("out/Deck_fixed.ppt", {'o', 'l', 'd'});
    host.overwrite_answers = {false};
    host.save_as_answers = {Utf8(scratch.root() / "no-such-folder" / "Chosen.ppt")};
    Save(queue);
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemFailed);
    EXPECT_TRUE(Exists(queue[0]));
    EXPECT_TRUE(FilesBelow(Utf8(scratch.root() / "out")).size() == 1u);
}

// The specified run went on to move, copy or delete a copy it could not even open.
TEST_F(SaveRunTest, UnreadableCopyFailsAndNothingIsDone) {
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(13)}});
    std::string error;
    ASSERT_TRUE(files.real().Delete(queue[0], &error)) << error;
    scratch.File("out/Deck_fixed.ppt", {'o', 'l', 'd'});
    Save(queue);
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemFailed);
    EXPECT_TRUE(host.overwrite_questions.empty());
    EXPECT_EQ(files.copies + files.moves + files.deletes, 0);
    EXPECT_EQ(ReadBytes(out + "Deck_fixed.ppt"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(SaveRunTest, MoveIntoAMissingFolderKeepsTheCopy) {
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(14)}});
    const std::vector<std::string> q = queue;
    SaveWorker(SaveJob{&q, &host, &files, "_x", Utf8(scratch.root() / "nowhere") + "/", {}});
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemFailed);
    EXPECT_TRUE(Exists(queue[0]));
}

// The specified run's plain move failed whenever the save folder was on another file system.
TEST_F(SaveRunTest, SaveFolderOnAnotherFileSystem) {
    const auto other = OtherFileSystemFolder(scratch);
    if (!other) GTEST_SKIP() << "no second file system here (set DECKWRIGHT_OTHER_FS_DIR)";
    const fs::path folder =
        PathOf(*other) / ("deckwright-save-" + files.FileNameOf(Utf8(scratch.root())));
    fs::create_directories(folder);
    const auto queue = Repaired({{"Deck.ppt", SamplePresentation(17, true)}});
    const Bytes repaired = ReadBytes(queue[0]);
    SaveWorker(SaveJob{&queue, &host, &files, "_far", Utf8(folder) + kPathSeparator, {}});
    const Bytes arrived = ReadBytes(Utf8(folder / "Deck_far.ppt"));
    std::error_code ec;
    fs::remove_all(folder, ec);
    EXPECT_EQ(host.events[1].code, ProgressCode::kItemSucceeded);
    EXPECT_EQ(arrived, repaired);
    EXPECT_FALSE(Exists(queue[0]));
    EXPECT_EQ(FoldersBelow(RunFolder()), 0u);
}

TEST_F(SaveRunTest, SourcesUntouchedByBothRuns) {
    const std::string source = scratch.File("in/keep/Deck.ppt", SamplePresentation(15, true));
    const Bytes before = ReadBytes(source);
    const auto time = fs::last_write_time(PathOf(source));
    std::vector<std::string> queue{source};
    RepairWorker(RepairJob{&queue, &host, &files, {}});
    Save(queue);
    EXPECT_TRUE(Exists(out + "Deck_fixed.ppt"));
    EXPECT_EQ(ReadBytes(source), before);
    EXPECT_EQ(fs::last_write_time(PathOf(source)), time);
}

}  // namespace
}  // namespace deckwright::testing
