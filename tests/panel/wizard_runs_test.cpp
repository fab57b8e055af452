// Whole repair and save runs driven through the panel: the events, Status cells, progress,
// check marks and pages they bring, the boxes of the workers, reruns, and closing.
#include "panel/panel_run_host.h"
#include "res/resource.h"
#include "tests/panel/panel_test_support.h"

#ifndef _WIN32
#include "platform/ui/headless/inspect.h"
#endif

namespace deckwright::testing {
namespace {

using Names = std::vector<std::string>;

const std::string kUnicodeName =
    "Pr\xC3\xA4sentation \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.ppt";

class WizardRunsTest : public PanelTest {
  protected:
    // Three damaged presentations (real ones when the corpus is here), one named in Unicode,
    // and in the middle a file that is no presentation at all.
    void AddFourFiles() {
        // The three smallest of the corpus keep the runs quick.
        auto corpus = CorpusFiles();
        std::sort(corpus.begin(), corpus.end(), [](const std::string& a, const std::string& b) {
            return fs::file_size(PathOf(a)) < fs::file_size(PathOf(b));
        });
        for (int i = 0; i < 3; ++i) {
            Bytes bytes = SamplePresentation(static_cast<std::uint32_t>(i + 1), true);
            if (corpus.size() >= 3) {
                bytes = ReadBytes(corpus[static_cast<std::size_t>(i)]);
                std::fill(bytes.begin(), bytes.begin() + 512, std::uint8_t{0});
            }
            const std::string name = i == 1 ? kUnicodeName : "deck" + std::to_string(i) + ".ppt";
            sources.push_back(FullPathOf(scratch.File("in/" + name, bytes)));
            originals.push_back(bytes);
        }
        sources.insert(sources.begin() + 2,  // no presentation
                       FullPathOf(scratch.File("in/notes.ppt", Bytes(4096, 0x41))));
        originals.insert(originals.begin() + 2, Bytes(4096, 0x41));
        AddThroughDialog(sources);
        // The list shows them last first; the runs go down the list.
        ASSERT_EQ(panel->m_listFiles.GetItemCount(), 4);
        listed = Column(panel->m_listFiles, 1);
    }
    std::string Out() { return scratch.Folder("out"); }
    // The snapshots of one run: code/index, page, bar position and the row's Status cell.
    std::vector<std::string> Trace(UINT message) {
        std::vector<std::string> out;
        for (const Snapshot& s : panel->snapshots) {
            if (s.message != message) continue;
            out.push_back(std::to_string(s.code) + "/" + std::to_string(s.index) + " p" +
                          std::to_string(s.page) + " @" + std::to_string(s.position) +
                          (s.code == 0 ? "" : " " + s.status));
        }
        return out;
    }

    std::vector<std::string> sources;
    std::vector<Bytes> originals;
    Names listed;
};

TEST_F(WizardRunsTest, RepairAndSaveFourFilesWithAFailureInTheMiddle) {
    AddFourFiles();
    const std::string folder = Out();
    panel->m_strSuffix = "_fixed";
    panel->m_strSaveFolder = folder;

    Click(panel->m_btnNext);
    FinishRun();
    // listed[1] is notes.ppt: it fails, the others are repaired.
    EXPECT_EQ(Trace(WM_REPAIR_PROGRESS),
              (Names{"1/0 p1 @1 Repairing", "4/0 p1 @2 Repaired", "1/1 p1 @3 Repairing",
                     "3/1 p1 @4 Failed", "1/2 p1 @5 Repairing", "4/2 p1 @6 Repaired",
                     "1/3 p1 @7 Repairing", "4/3 p1 @8 Repaired", "0/0 p2 @8"}));
    EXPECT_EQ(Column(panel->m_listRepaired, 1), listed);
    EXPECT_EQ(Column(panel->m_listRepaired, 3),
              (Names{"Repaired", "Failed", "Repaired", "Repaired"}));
    EXPECT_EQ(Checks(panel->m_listRepaired), std::vector<bool>(4, true))
        << "failed rows are checked too";
    int low = -1, high = -1;
    panel->m_progress.GetRange(low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 8);
    ASSERT_EQ(panel->m_repairQueue.size(), 4u);
    EXPECT_EQ(panel->m_repairQueue[1], "FAIL");

    const auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text.rfind("Unable to repair this file: ", 0), 0u) << shown[0].text;
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_FALSE(shown[0].owned) << "a worker's box has no owner";
    EXPECT_EQ(shown[1].text, "Deckwright process Completed !!!");
    EXPECT_EQ(shown[1].type, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_TRUE(shown[1].owned);
    boxes.Clear();

    dialogs.file_saved_answers = {true};
    Click(panel->m_btnNext);
    FinishRun();
    EXPECT_EQ(Trace(WM_SAVE_PROGRESS),
              (Names{"2/0 p3 @1 Saving", "4/0 p3 @2 Saved", "2/1 p3 @3 Saving", "3/1 p3 @4 Failed",
                     "2/2 p3 @5 Saving", "4/2 p3 @6 Saved", "2/3 p3 @7 Saving", "4/3 p3 @8 Saved",
                     "0/0 p4 @8"}));
    // The program's words, then the reason: the row whose repair failed has no copy.
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "Uable to Save File, Either the file already exit,\nor it is "
              "used by some other program\n\nthe file was not repaired");
    EXPECT_FALSE(boxes.Shown()[0].owned);
    EXPECT_EQ(dialogs.file_saved_folders, Names{folder});
    EXPECT_EQ(shell_opened, Names{folder}) << "the folder is opened when the box stays checked";
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVED);

    // Each saved file is what the repair makes of its source, under its own name; the
    // sources are as they were.
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(ReadBytes(sources[i]), originals[i]) << sources[i];
    }
    for (const std::string& source : listed) {
        const std::string name = FileNameOf(source);
        const std::string saved = folder + name.substr(0, name.rfind('.')) + "_fixed.ppt";
        if (name == "notes.ppt") {
            EXPECT_FALSE(Exists(saved));
            continue;
        }
        Bytes expected;
        ASSERT_TRUE(RepairInMemory(ReadBytes(source), &expected).sound) << name;
        EXPECT_EQ(ReadBytes(saved), expected) << saved;
    }
}

TEST_F(WizardRunsTest, OnlyTheCheckedRowsRunAndEveryRunStartsFromAnEmptyBar) {
    AddThroughDialog({DamagedSample("a.ppt", 1), DamagedSample("b.ppt", 2)});  // rows b, a
    panel->m_listFiles.SetCheck(0, false);
    Command(ID_REPAIR_FILE);
    FinishRun();
    EXPECT_EQ(Column(panel->m_listRepaired, 0), Names{"a.ppt"});
    EXPECT_EQ(Trace(WM_REPAIR_PROGRESS)[0], "1/0 p1 @1 Repairing");

    // Previous, then Next again: a second run from the file list's check marks of now.
    Click(panel->m_btnPrevious);
    panel->m_listFiles.SetCheck(0, true);
    panel->snapshots.clear();
    Click(panel->m_btnNext);
    FinishRun();
    EXPECT_EQ(Column(panel->m_listRepaired, 0), (Names{"b.ppt", "a.ppt"}));
    EXPECT_EQ(Trace(WM_REPAIR_PROGRESS).front(), "1/0 p1 @1 Repairing") << "not from the old 2";
    EXPECT_EQ(Trace(WM_REPAIR_PROGRESS).back(), "0/0 p2 @4");

    // Save one, go back, and save again: the second run finds the copy already gone.
    panel->m_strSaveFolder = Out();
    panel->m_listRepaired.SetCheck(1, false);
    dialogs.file_saved_answers = {false, false};
    Command(ID_SAVE_FILE);
    FinishRun();
    EXPECT_EQ(Column(panel->m_listSaved, 3), Names{"Saved"});
    EXPECT_TRUE(shell_opened.empty()) << "the box was cleared: nothing opened";
    Click(panel->m_btnPrevious);
    panel->snapshots.clear();
    Click(panel->m_btnNext);
    FinishRun();
    EXPECT_EQ(Column(panel->m_listSaved, 3), Names{"Failed"});
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVED);
}

TEST_F(WizardRunsTest, AnExistingFileIsReplacedOnlyAfterAskingAndNoLeadsToSaveAs) {
    const std::string folder = Out();
    panel->m_strSaveFolder = folder;
    AddThroughDialog({DamagedSample("a.ppt", 1), DamagedSample("b.ppt", 2)});  // rows b, a
    Command(ID_REPAIR_FILE);
    FinishRun();
    scratch.File("out/b.ppt", {'o', 'l', 'd'});
    scratch.File("out/a.ppt", {'o', 'l', 'd'});
    const std::string chosen = scratch.Path("elsewhere/a-chosen.ppt");
    boxes.Clear();
    boxes.AnswerYesNo({IDYES, IDNO});
    dialogs.save_as_answers = {chosen};
    dialogs.file_saved_answers = {false};
    Click(panel->m_btnNext);
    FinishRun();
    const auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 2u);
    for (const ShownBox& box : shown) {
        EXPECT_EQ(box.text, "A file with the same name already exist \nOverwrite existing file");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
        EXPECT_FALSE(box.owned);
    }
    EXPECT_EQ(dialogs.save_as_requests, Names{folder + "a.ppt"});
    EXPECT_NE(ReadBytes(folder + "b.ppt"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(ReadBytes(folder + "a.ppt"), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(Exists(chosen));
    EXPECT_EQ(Column(panel->m_listSaved, 3), (Names{"Saved", "Saved"}));
}

TEST_F(WizardRunsTest, AFailedSaveSaysWhereTheRepairedCopyIsKept) {
    AddThroughDialog({DamagedSample("a.ppt", 1)});
    Command(ID_REPAIR_FILE);
    FinishRun();
    scratch.File("out/a.ppt", {'o', 'l', 'd'});
    boxes.Clear();
    boxes.AnswerYesNo({IDNO});
    dialogs.save_as_answers = {std::nullopt};  // Save As cancelled
    dialogs.file_saved_answers = {false};
    Command(ID_SAVE_FILE);
    FinishRun();
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].rfind("Uable to Save File", 0), 0u);
    ASSERT_EQ(panel->m_saveQueue.size(), 1u);
    EXPECT_NE(texts[1].find(panel->m_saveQueue[0]), std::string::npos)
        << "the box names the kept copy: " << texts[1];
    EXPECT_TRUE(Exists(panel->m_saveQueue[0]));
    EXPECT_TRUE(dialogs.file_saved_folders.empty()) << "no box may say that files were saved";
}

// A copy whose structure is repaired but whose records are damaged is offered for saving, and
// its worker's box says so before the row shows it repaired, without claiming it was saved.
TEST_F(WizardRunsTest, DamagedRecordsAreSaidInAWarningBoxAndTheCopyIsStillOffered) {
    const std::string damaged =
        FullPathOf(scratch.File("in/b.ppt", PresentationWithDamagedRecords(2, true)));
    Names rows_when_warned;
    boxes.on_show = [this, &rows_when_warned](const ShownBox& box) {
        if (!box.owned) {  // the worker's box, not the run's end (the same icon)
            rows_when_warned = Column(panel->m_listRepaired, 3);
        }
    };
    AddThroughDialog({damaged});
    Command(ID_REPAIR_FILE);
    FinishRun();
    boxes.on_show = nullptr;

    const auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text.rfind("The file was repaired, but parts of the slides may be damaged: ", 0),
              0u)
        << shown[0].text;
    EXPECT_EQ(shown[0].text.find("saved"), std::string::npos) << "nothing is saved yet";
    EXPECT_EQ(shown[0].caption, "Velmora Deckwright");
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_FALSE(shown[0].owned);
    EXPECT_EQ(rows_when_warned, Names{"Repairing"});
    EXPECT_EQ(Column(panel->m_listRepaired, 3), Names{"Repaired"});
    ASSERT_EQ(panel->m_repairQueue.size(), 1u);
    EXPECT_NE(panel->m_repairQueue[0], "FAIL");
    EXPECT_TRUE(Exists(panel->m_repairQueue[0]));
}

TEST_F(WizardRunsTest, ClosingIsRefusedFromTheRunsStartUntilItsFinalEventIsHandled) {
    EXPECT_TRUE(panel->CanClose());
    AddThroughDialog({DamagedSample("a.ppt", 1)});
    Command(ID_REPAIR_FILE);
    EXPECT_FALSE(panel->CanClose());
    EXPECT_EQ(boxes.Texts(), Names{"Repair or Save is in progress. Please wait for it to end"});
    FinishRun();
    for (const Snapshot& s : panel->snapshots) {
        EXPECT_EQ(s.running, s.code != 0) << "code " << s.code;
    }
    EXPECT_TRUE(panel->CanClose());
}

TEST_F(WizardRunsTest, APanelDestroyedDuringARunWaitsForItsWorker) {
    // Only an abnormal end does this (closing is refused): the worker must not outlive the
    // queues it rewrites.
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) paths.push_back(DamagedSample("d" + std::to_string(i) + ".ppt", 1));
    AddThroughDialog(paths);
    Command(ID_REPAIR_FILE);
    ASSERT_TRUE(panel->IsRunInProgress());
    panel.reset();
    SUCCEED();
}

#ifndef _WIN32
TEST_F(WizardRunsTest, TheProgressRangeHoldsMoreThan16BitsOfSteps) {
    // 20,000 rows give 40,000 steps: a 16-bit range would wrap. (The real control's range is
    // checked on its own in the GUI tests: 20,000 rows take minutes there.)
    for (int i = 0; i < 20000; ++i) {
        const int row = panel->m_listFiles.InsertItem(LVIF_TEXT, i, "x.ppt", 3);
        panel->m_listFiles.SetItemText(row, 1, scratch.Path("in/none.ppt"));
        panel->m_listFiles.SetCheck(row, true);
    }
    Command(ID_REPAIR_FILE);
    int low = -1, high = -1;
    panel->m_progress.GetRange(low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 40000);
    panel.reset();  // the run ends on its own, failing every item
}

TEST_F(WizardRunsTest, TheStatusLineNamesEachItemAndEndsWithTheFinishedText) {
    AddThroughDialog({DamagedSample("a.ppt", 1)});
    const std::string path = Column(panel->m_listFiles, 1)[0];
    // What the band holds when the end of each run is announced, before the page changes.
    auto band = [&] {
        Names texts;
        for (const auto& text : headless::TextsOn(panel->m_hWnd)) {
            if (text.rect.top == panel->m_rcStatus.top) texts.push_back(text.text);
        }
        return texts;
    };
    Names at_repair_end, at_save_end;
    boxes.on_show = [&](const ShownBox& box) {
        if (box.owned) at_repair_end = band();
    };
    dialogs.on_file_saved = [&] { at_save_end = band(); };
    Command(ID_REPAIR_FILE);
    FinishRun();
    EXPECT_EQ(at_repair_end, (Names{"Reparing....    " + path,
                                    "Finished Reparing Files...." + std::string(146, ' ')}));
    EXPECT_TRUE(band().empty()) << "the page change wipes the band";
    panel->m_strSaveFolder = Out();
    dialogs.file_saved_answers = {false};
    Command(ID_SAVE_FILE);
    FinishRun();
    EXPECT_EQ(at_save_end, (Names{"Saving....    " + path,
                                  "Finished Saving Files...." + std::string(188, ' ')}));
}
#endif

}  // namespace
}  // namespace deckwright::testing
