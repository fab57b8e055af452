// The six commands: what each does or refuses on every page, adding and removing files, and the
// settings exchange.
#include <regex>

#include "res/resource.h"
#include "tests/panel/panel_test_support.h"

namespace deckwright::testing {
namespace {

using Names = std::vector<std::string>;

constexpr UINT kWarning = MB_OK | MB_ICONEXCLAMATION;
const std::string kInProgress = "Repair or Save is in progress. Please wait for it to end";
const std::string kCannotDelete = "You Cannot DeleteFile Form Save or Saved List";

class WizardCommandsTest : public PanelTest {
  protected:
    // The boxes one command showed, as "text" (warning boxes) or "text [type]" (others).
    Names Refusals(UINT id) {
        boxes.Clear();
        Command(id);
        Names out;
        for (const ShownBox& box : boxes.Shown()) {
            EXPECT_EQ(box.caption, "Velmora Deckwright");
            EXPECT_TRUE(box.owned) << "the panel's boxes are modal to its window";
            out.push_back(box.type == kWarning ? box.text
                                               : box.text + " [" + std::to_string(box.type) + "]");
        }
        return out;
    }
    std::string Repaired(int n) {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i) {
            paths.push_back(DamagedSample("d" + std::to_string(i) + ".ppt", i + 1));
        }
        AddThroughDialog(paths);
        Command(ID_REPAIR_FILE);
        FinishRun();
        return paths.front();
    }
};

TEST_F(WizardCommandsTest, OnTheFilesPageEachCommandActsOrSaysWhyNot) {
    dialogs.open_answers.push_back({});
    EXPECT_EQ(Refusals(ID_ADD_FILE), Names{});
    EXPECT_EQ(dialogs.open_calls, 1);
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED), Names{"No file(s) in the list to remove"});
    EXPECT_EQ(Refusals(ID_REMOVE_ALL), Names{"There is no files in the list to delete"});
    EXPECT_EQ(Refusals(ID_REPAIR_FILE), Names{"Add file(s) in the list to repair [0]"});
    EXPECT_EQ(Refusals(ID_SAVE_FILE),
              Names{"Please repair the file(s) first,\nthen save the repaired file(s)"});
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_FILES);
}

TEST_F(WizardCommandsTest, WhileARunWorksOnlySettingsActs) {
    AddThroughDialog({DamagedSample("a.ppt", 1)});
    Command(ID_REPAIR_FILE);
    // The worker waits on its first event: nothing here handles it until FinishRun.
    ASSERT_EQ(panel->m_nPage, CWizardView::PAGE_REPAIRING);
    EXPECT_EQ(Refusals(ID_ADD_FILE), Names{});
    EXPECT_EQ(dialogs.open_calls, 1) << "no open dialog during a run";
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED), Names{});
    EXPECT_EQ(Refusals(ID_REMOVE_ALL), Names{kCannotDelete});
    EXPECT_EQ(Refusals(ID_REPAIR_FILE), Names{kInProgress});
    EXPECT_EQ(Refusals(ID_SAVE_FILE), Names{kInProgress});
    dialogs.settings_answers = {SettingsValues{"_later", "/elsewhere/"}};
    Command(ID_SETTINGS);
    EXPECT_EQ(panel->m_strSuffix, "_later");
    EXPECT_EQ(panel->m_listFiles.GetItemCount(), 1);
    FinishRun();
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_REPAIRED);
}

TEST_F(WizardCommandsTest, OnTheRepairedPageTheListsAreReadOnly) {
    Repaired(1);
    EXPECT_EQ(Refusals(ID_ADD_FILE), Names{"File(s) can not be added to repaired file(s) list"});
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED),
              Names{"File(s) can not be  removed from repaired file(s) list "});
    EXPECT_EQ(Refusals(ID_REMOVE_ALL), Names{kCannotDelete});
    EXPECT_EQ(Refusals(ID_REPAIR_FILE),
              Names{"Please save the repaired file\nor press previous button to add \nmore files "
                    "and the press repair"});
    EXPECT_EQ(panel->m_listRepaired.GetItemCount(), 1);
    // Save File does what Next does here.
    dialogs.file_saved_answers = {false};
    EXPECT_EQ(Refusals(ID_SAVE_FILE), Names{});
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVING);
    FinishRun();
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVED);
}

TEST_F(WizardCommandsTest, OnTheSavedPageOnlyFinishLeads) {
    Repaired(1);
    dialogs.file_saved_answers = {false};
    Command(ID_SAVE_FILE);
    FinishRun();
    EXPECT_EQ(Refusals(ID_ADD_FILE), Names{"File(s) can not be  added to Saved file(s) list "});
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED),
              Names{"File(s) can not be  removed from Saved file(s) list "});
    EXPECT_EQ(Refusals(ID_REMOVE_ALL), Names{kCannotDelete});
    EXPECT_EQ(Refusals(ID_REPAIR_FILE), Names{"Please press finish to start again"});
    EXPECT_EQ(Refusals(ID_SAVE_FILE), Names{"Please press finish to start again"});
    EXPECT_EQ(panel->m_nPage, CWizardView::PAGE_SAVED);
}

TEST_F(WizardCommandsTest, AddedFilesGoOnTopInReverseOrderCheckedWithTheirFacts) {
    AddThroughDialog({DamagedSample("old.ppt", 1)});
    const Bytes small(987, 0x5A);
    const std::string a = FullPathOf(scratch.File("in/a.ppt", small));
    const std::string b = DamagedSample("b.ppt", 2);
    const std::string c = DamagedSample("c.ppt", 3);
    AddThroughDialog({a, b, c});
    EXPECT_EQ(Column(panel->m_listFiles, 0), (Names{"c.ppt", "b.ppt", "a.ppt", "old.ppt"}));
    EXPECT_EQ(Column(panel->m_listFiles, 1)[2], a);
    EXPECT_EQ(Column(panel->m_listFiles, 2)[2], "987  bytes");
    EXPECT_EQ(Checks(panel->m_listFiles), (std::vector<bool>(4, true)));
    const std::regex date(
        R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat), (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d, \d{4})");
    for (const std::string& created : Column(panel->m_listFiles, 3)) {
        EXPECT_TRUE(std::regex_match(created, date)) << created;
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(WizardCommandsTest, ADuplicateIsSaidOnceAndTheRestOfTheSelectionIsAdded) {
    const std::string a = DamagedSample("a.ppt", 1);
    const std::string b = DamagedSample("b.ppt", 2);
    AddThroughDialog({a});
    AddThroughDialog({a, b});
    EXPECT_EQ(Column(panel->m_listFiles, 1), (Names{b, a}));
    const auto shown = boxes.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "This file has already been added      ");
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_ICONINFORMATION | MB_SETFOREGROUND));
    EXPECT_TRUE(panel->IsAlreadyListed(a));
    EXPECT_FALSE(panel->IsAlreadyListed(a + "x"));
    // The full path is the row's identity: the same name in another folder is another file.
    const std::string other = DamagedSample("other/a.ppt", 3);
    AddThroughDialog({other});
    EXPECT_EQ(Column(panel->m_listFiles, 1), (Names{other, b, a}));
    EXPECT_EQ(boxes.Shown().size(), 1u);
#ifdef _WIN32
    // The same file under another letter case is another path: listed again.
    std::string upper = a;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    AddThroughDialog({upper});
    EXPECT_EQ(panel->m_listFiles.GetItemCount(), 4);
#endif
}

TEST_F(WizardCommandsTest, AnUnreadableFileEndsTheAddingSilently) {
    const std::string a = DamagedSample("a.ppt", 1);
    const std::string c = DamagedSample("c.ppt", 3);
    AddThroughDialog({a, FullPathOf(scratch.Path("in/missing.ppt")), c});
    EXPECT_EQ(Column(panel->m_listFiles, 1), Names{a});
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(WizardCommandsTest, UnicodeNamesAndSizesPast4GiBAreShownAsTheyAre) {
    const std::string name =
        "Pr\xC3\xA4sentation \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.ppt";
    const std::string unicode = DamagedSample(name, 4);
    // A sparse file: 4 GiB and 987 bytes, none of them written.
    const std::string big = FullPathOf(scratch.Path("in/big.ppt"));
    WriteBytes(big, {});
    std::error_code ec;
    fs::resize_file(PathOf(big), (std::uintmax_t{1} << 32) + 987, ec);
    if (ec) GTEST_SKIP() << "no room for a sparse 4 GiB file here: " << ec.message();
    AddThroughDialog({unicode, big});
    fs::remove(PathOf(big), ec);
    EXPECT_EQ(Column(panel->m_listFiles, 0), (Names{"big.ppt", name}));
    EXPECT_EQ(Column(panel->m_listFiles, 2)[0], "4294968283  bytes");
    EXPECT_TRUE(panel->IsAlreadyListed(unicode));
}

TEST_F(WizardCommandsTest, DroppedFilesAreAddedAsChosenOnesWithTheSameRefusals) {
    const std::string a = DamagedSample("a.ppt", 1), b = DamagedSample("b.ppt", 2);
    Drop({a, b, a});
    EXPECT_EQ(Column(panel->m_listFiles, 1), (Names{b, a}));
    EXPECT_EQ(boxes.Texts(), Names{"This file has already been added      "});
    Command(ID_REPAIR_FILE);
    Drop({DamagedSample("c.ppt", 3)});  // during the run: nothing at all
    EXPECT_EQ(boxes.Texts().size(), 1u);
    FinishRun();
    boxes.Clear();
    Drop({DamagedSample("d.ppt", 4)});
    EXPECT_EQ(boxes.Texts(), Names{"File(s) can not be added to repaired file(s) list"});
    EXPECT_EQ(panel->m_listFiles.GetItemCount(), 2);
}

TEST_F(WizardCommandsTest, RemoveSelectedAsksAndRemovesOnlyCheckedRows) {
    const std::string a = DamagedSample("a.ppt", 1), b = DamagedSample("b.ppt", 2),
                      c = DamagedSample("c.ppt", 3);
    AddThroughDialog({a, b, c});  // rows c, b, a
    panel->SetAllChecks(panel->m_listFiles, false);
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED), Names{"Please select a file to remove"});
    panel->m_listFiles.SetCheck(0, true);
    panel->m_listFiles.SetCheck(2, true);
    boxes.AnswerYesNo({IDNO, IDYES});
    const std::string question = "Do you want to remove the selected\nfiles from the list [" +
                                 std::to_string(MB_YESNO | MB_ICONEXCLAMATION) + "]";
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED), Names{question});
    EXPECT_EQ(panel->m_listFiles.GetItemCount(), 3) << "No keeps every row";
    EXPECT_EQ(Refusals(ID_REMOVE_SELECTED), Names{question});
    EXPECT_EQ(Column(panel->m_listFiles, 1), Names{b});
    EXPECT_EQ(Refusals(ID_REMOVE_ALL), Names{});
    EXPECT_EQ(panel->m_listFiles.GetItemCount(), 0);
}

TEST_F(WizardCommandsTest, SettingsShowTheCurrentValuesAndTakeThemOnlyOnOk) {
    panel->m_strSuffix = "_fixed";
    panel->m_strSaveFolder = "C:\\Out\\";
    dialogs.settings_answers = {std::nullopt, SettingsValues{"_new", "D:\\New\\"}};
    Command(ID_SETTINGS);
    EXPECT_EQ(panel->m_strSuffix, "_fixed");
    EXPECT_EQ(panel->m_strSaveFolder, "C:\\Out\\");
    Command(ID_SETTINGS);
    EXPECT_EQ(panel->m_strSuffix, "_new");
    EXPECT_EQ(panel->m_strSaveFolder, "D:\\New\\");
    ASSERT_EQ(dialogs.settings_shown.size(), 2u);
    EXPECT_EQ(dialogs.settings_shown[0].suffix, "_fixed");
    EXPECT_EQ(dialogs.settings_shown[0].save_folder, "C:\\Out\\");
    EXPECT_TRUE(boxes.Shown().empty());
}

}  // namespace
}  // namespace deckwright::testing
