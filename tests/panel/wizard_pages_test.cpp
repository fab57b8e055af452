// The wizard's pages: what each shows, the guards of the two pages that start a run, the
// wizard buttons and Select All, and the layout.
#include "res/resource.h"
#include "tests/panel/panel_test_support.h"

#ifndef _WIN32
#include "platform/ui/headless/inspect.h"
#endif

namespace deckwright::testing {
namespace {

using Names = std::vector<std::string>;

class WizardPagesTest : public PanelTest {
  protected:
    // Adds n damaged samples and repairs them: the panel is then on the repaired page.
    void RepairSamples(int n) {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i) {
            paths.push_back(DamagedSample("deck" + std::to_string(i) + ".ppt", i + 1));
        }
        AddThroughDialog(paths);
        Click(panel->m_btnNext);
        FinishRun();
        ASSERT_EQ(panel->m_nPage, CWizardView::PAGE_REPAIRED);
        boxes.Clear();
    }
};

TEST_F(WizardPagesTest, EachPageShowsItsControlsOnly) {
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_FILES);
    EXPECT_EQ(Visible(), (Names{"files", "next", "select all"}));
    RepairSamples(2);
    EXPECT_EQ(Visible(), (Names{"repaired", "next", "previous", "select all"}));
    dialogs.file_saved_answers = {false};
    Click(panel->m_btnNext);
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVING);
    EXPECT_EQ(Visible(), (Names{"saved", "progress"}));
    FinishRun();
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVED);
    EXPECT_EQ(Visible(), (Names{"saved", "previous", "finished"}));
    Click(panel->m_btnPrevious);
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_REPAIRED);
    Click(panel->m_btnPrevious);
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_FILES);
    EXPECT_EQ(Visible(), (Names{"files", "next", "select all"}));
    EXPECT_EQ(Column(panel->m_listFiles, 0), (Names{"deck1.ppt", "deck0.ppt"}))
        << "going back shows the list as it was left";
}

TEST_F(WizardPagesTest, TheRepairingPageShowsItsListAndBarWhileTheRunWorks) {
    AddThroughDialog({DamagedSample("a.ppt", 1)});
    Click(panel->m_btnNext);
    // The worker waits on its first event until this thread handles it.
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_REPAIRING);
    EXPECT_EQ(Visible(), (Names{"repaired", "progress"}));
    FinishRun();
}

TEST_F(WizardPagesTest, NextOnTheFilesPageNeedsCheckedRows) {
    Click(panel->m_btnNext);
    AddThroughDialog({DamagedSample("a.ppt", 1), DamagedSample("b.ppt", 2)});
    panel->SetAllChecks(panel->m_listFiles, false);
    Click(panel->m_btnNext);
    const auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Add file(s) in the list to repair");
    EXPECT_EQ(shown[1].text, "Select file(s) in the list to repair");
    for (const ShownBox& box : shown) {
        EXPECT_EQ(box.caption, "Velmora Deckwright");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK)) << "a guard's box has no icon";
    }
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_FILES);
    EXPECT_FALSE(panel->IsRunInProgress());
    EXPECT_EQ(panel->m_listRepaired.GetItemCount(), 0) << "nothing was built";
}

TEST_F(WizardPagesTest, NextOnTheRepairedPageNeedsCheckedRows) {
    RepairSamples(2);
    panel->SetAllChecks(panel->m_listRepaired, false);
    Click(panel->m_btnNext);
    panel->m_listRepaired.DeleteAllItems();
    Click(panel->m_btnNext);
    EXPECT_EQ(boxes.Texts(),
              (Names{"Select file(s) in the list to repair", "Saved List is empty "}));
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_REPAIRED);
    EXPECT_EQ(panel->m_listSaved.GetItemCount(), 0);
}

TEST_F(WizardPagesTest, SelectAllFollowsTheBoxOnTheShownListOnly) {
    // Over an empty list the box does not stay checked.
    Click(panel->m_chkSelectAll);
    EXPECT_EQ(panel->m_chkSelectAll.GetCheck(), BST_UNCHECKED);

    AddThroughDialog({DamagedSample("a.ppt", 1), DamagedSample("b.ppt", 2)});
    panel->m_listFiles.SetCheck(0, false);
    Click(panel->m_chkSelectAll);
    EXPECT_EQ(panel->m_chkSelectAll.GetCheck(), BST_CHECKED);
    EXPECT_EQ(Checks(panel->m_listFiles), (std::vector<bool>{true, true}));
    Click(panel->m_chkSelectAll);
    EXPECT_EQ(Checks(panel->m_listFiles), (std::vector<bool>{false, false}));

    panel->SetAllChecks(panel->m_listFiles, true);
    Click(panel->m_btnNext);
    FinishRun();
    // On the repaired page it works on the repaired list, and the file list stays as it is.
    panel->m_listFiles.SetCheck(1, false);
    Click(panel->m_chkSelectAll);
    EXPECT_EQ(Checks(panel->m_listRepaired), (std::vector<bool>{true, true}));
    Click(panel->m_chkSelectAll);
    EXPECT_EQ(Checks(panel->m_listRepaired), (std::vector<bool>{false, false}));
    EXPECT_EQ(Checks(panel->m_listFiles), (std::vector<bool>{true, false}));
    // Elsewhere it has no list: the saved page ignores the id.
    panel->m_nPage = CWizardView::PAGE_SAVED;
    panel->OnWizardButton(IDC_SELECT_ALL);
    EXPECT_EQ(Checks(panel->m_listRepaired), (std::vector<bool>{false, false}));
}

TEST_F(WizardPagesTest, FinishedEmptiesTheFileListAndStartsAgain) {
    RepairSamples(1);
    Click(panel->m_chkSelectAll);  // checked, and stays so across the page changes
    dialogs.file_saved_answers = {false};
    Click(panel->m_btnNext);
    FinishRun();
    Click(panel->m_btnFinished);
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_FILES);
    EXPECT_EQ(panel->m_listFiles.GetItemCount(), 0);
    EXPECT_EQ(panel->m_chkSelectAll.GetCheck(), BST_CHECKED);
    // The later lists keep their rows, hidden, until the next run rebuilds them.
    EXPECT_EQ(panel->m_listRepaired.GetItemCount(), 1);
    EXPECT_EQ(panel->m_listSaved.GetItemCount(), 1);
    Click(panel->m_btnNext);
    EXPECT_EQ(boxes.Texts().back(), "Add file(s) in the list to repair");
}

TEST_F(WizardPagesTest, HiddenButtonsAndUnknownIdsDoNothing) {
    panel->OnWizardButton(200);
    panel->OnWizardButton(IDC_PREVIOUS);  // page 0 has no Previous
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_FILES);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(WizardPagesTest, LayoutFollowsTheFramesClientSizeForEveryControl) {
    auto expect_at = [](const CWnd& control, const CWnd& parent_window, RECT want) {
        const RECT got = control.GetWindowRect();
        const RECT origin = parent_window.GetWindowRect();
        const RECT client = parent_window.GetClientRect();
        // Client coordinates: the panel's client area starts inside its edge.
        const LONG dx = origin.left + ((origin.right - origin.left) - client.right) / 2;
        const LONG dy = origin.top + ((origin.bottom - origin.top) - client.bottom) / 2;
        EXPECT_EQ(got.left - dx, want.left);
        EXPECT_EQ(got.top - dy, want.top);
        EXPECT_EQ(got.right - got.left, want.right - want.left);
        EXPECT_EQ(got.bottom - got.top, want.bottom - want.top);
    };
    panel->LayoutControls(1000, 700);
    expect_at(panel->m_listFiles, *panel, RECT{50, 100, 950, 520});
    expect_at(panel->m_listSaved, *panel, RECT{50, 100, 950, 520});  // hidden ones move too
    expect_at(panel->m_btnNext, *panel, RECT{866, 555, 948, 594});
    expect_at(panel->m_btnFinished, *panel, RECT{866, 555, 948, 594});
    expect_at(panel->m_btnPrevious, *panel, RECT{757, 555, 841, 594});
    expect_at(panel->m_chkSelectAll, *panel, RECT{70, 550, 83, 563});
    expect_at(panel->m_progress, *panel, RECT{100, 570, 900, 590});
    EXPECT_EQ(panel->m_rcStatus.left, 100);
    EXPECT_EQ(panel->m_rcStatus.top, 550);
    EXPECT_EQ(panel->m_rcStatus.right, 900);
    EXPECT_EQ(panel->m_rcStatus.bottom, 570);
    EXPECT_EQ(panel->GetLayoutSize().cx, 1000);
}

#ifndef _WIN32
// What each page paints; the pixels themselves are checked over the real controls.
TEST_F(WizardPagesTest, EachPagePaintsItsInstructionAndTheSelectAllCaptionWhereShown) {
    auto texts = [&] {
        Names out;
        for (const auto& drawn : headless::TextsOn(panel->m_hWnd)) out.push_back(drawn.text);
        return out;
    };
    const std::string files_text =
        "Press \"Add file\" button to add file in list. Then press next to repair.";
    panel->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(texts(), (Names{"Select All ", files_text, "Velmora Deckwright"}));
    const auto drawn = headless::TextsOn(panel->m_hWnd);
    const int h = 600;  // the panel's outer height
    EXPECT_EQ(drawn[0].rect.top, h - 57);
    EXPECT_EQ(drawn[1].rect.top, h - 80);
    EXPECT_EQ(drawn[1].face, "Times New Roman");
    EXPECT_EQ(drawn[1].height, 17);
    EXPECT_EQ(drawn[1].background, RGB(240, 156, 72));
    EXPECT_EQ(drawn[2].rect.left, 90) << "the title lands at (90, 10)";
    EXPECT_EQ(drawn[2].text_color, RGB(0, 128, 0));
    EXPECT_EQ(drawn[2].height, 65);

    AddThroughDialog({DamagedSample("a.ppt", 1)});
    Click(panel->m_btnNext);
    EXPECT_EQ(texts(), (Names{"Velmora Deckwright"})) << "the repairing page has no instruction";
    FinishRun();
    EXPECT_EQ(texts(), (Names{"Select All ",
                              "Select file from repaired file list. Then press next to save "
                              "repaired file.",
                              "Velmora Deckwright"}));
    dialogs.file_saved_answers = {false};
    Click(panel->m_btnNext);
    FinishRun();
    EXPECT_EQ(texts(), (Names{"Press Finish to start again ", "Velmora Deckwright"}));
}

TEST_F(WizardPagesTest, AStatusTextStaysUntilThePanelIsErased) {
    panel->DrawStatusText("Reparing....    C:\\a long path\\deck.ppt");
    panel->DrawStatusText("Saving....    C:\\x.ppt");
    auto drawn = headless::TextsOn(panel->m_hWnd);
    ASSERT_EQ(drawn.size(), 2u) << "the band is not cleared before drawing";
    EXPECT_EQ(drawn[1].rect.top, panel->m_rcStatus.top);
    EXPECT_EQ(drawn[1].height, 15);
    const int erased = headless::EraseCount(panel->m_hWnd);
    panel->SwitchPage(CWizardView::PAGE_FILES);
    EXPECT_EQ(headless::EraseCount(panel->m_hWnd), erased + 1);
    for (const auto& text : headless::TextsOn(panel->m_hWnd)) {
        EXPECT_EQ(text.text.find("Saving"), std::string::npos) << "a page change wipes it";
    }
}
#endif

}  // namespace
}  // namespace deckwright::testing
