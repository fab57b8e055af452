// The program's dialogs over the real common dialogs and templates, driven as a user would:
// the multiple-file open dialog (also selections too long for its buffer), Settings and File
// Saved, and what they paint.
#include <gtest/gtest.h>
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <functional>
#include <string>
#include <vector>

#include "dialogs/desktop_dialogs.h"
#include "dialogs/file_saved_dlg.h"
#include "dialogs/multi_file_dialog.h"
#include "dialogs/settings_dlg.h"
#include "platform/ui/shell.h"
#include "platform/utf.h"
#include "res/resource.h"
#include "tests/gui/gui_support.h"
#include "tests/runs/run_test_support.h"

namespace deckwright {
namespace {

using testing::DialogWatcher;
using testing::Hex;
using Names = std::vector<std::string>;

// ---------------------------------------------------------------- the open dialog

// The open dialog of this thread, once it shows.
HWND OpenDialogWindow() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            wchar_t cls[64] = {}, title[64] = {};
            ::GetClassNameW(hwnd, cls, 64);
            ::GetWindowTextW(hwnd, title, 64);
            if (std::wstring(cls) == L"#32770" && std::wstring(title) == L"Open" &&
                ::IsWindowVisible(hwnd)) {
                *reinterpret_cast<HWND*>(lp) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Plays steps on the open dialog from inside its own modal loop, one per timer tick, as a user
// would act on it: each step returns false to be tried again at the next tick.
class OpenDialogScript {
  public:
    using Step = std::function<bool(HWND dialog)>;
    explicit OpenDialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        current_ = this;
        timer_ = ::SetTimer(nullptr, 0, 50, &OpenDialogScript::Tick);
    }
    ~OpenDialogScript() {
        ::KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool Finished() const { return next_ == steps_.size(); }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        OpenDialogScript* self = current_;
        if (!self || self->Finished()) return;
        HWND dialog = OpenDialogWindow();
        if (!dialog) return;
        if (self->steps_[self->next_](dialog)) ++self->next_;
    }
    static inline OpenDialogScript* current_ = nullptr;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    UINT_PTR timer_ = 0;
};

// The file name box of the explorer-style dialog.
HWND NameBox(HWND dialog) {
    if (HWND edit = ::GetDlgItem(dialog, edt1)) return edit;
    // cmb13: an extended combo box holding a combo box holding the edit box.
    HWND outer = ::GetDlgItem(dialog, cmb13);
    HWND inner = outer ? ::FindWindowExW(outer, nullptr, L"ComboBox", nullptr) : nullptr;
    HWND edit = ::FindWindowExW(inner ? inner : outer, nullptr, L"Edit", nullptr);
    return edit;
}

// Types text into the name box and presses Open: a folder is entered, names are chosen.
OpenDialogScript::Step Type(const std::string& text) {
    return [text](HWND dialog) {
        HWND box = NameBox(dialog);
        if (!box) return false;
        ::SetWindowTextW(box, Widen(text).c_str());
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
}

// Selects exactly the named files in the dialog's list, as clicks with Ctrl held would.
OpenDialogScript::Step Select(Names names) {
    return [names](HWND dialog) {
        HWND view = ::FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr);
        HWND list = view ? ::FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
        if (!list) return false;
        const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        int found = 0;
        for (int i = 0; i < count; ++i) {
            wchar_t text[MAX_PATH] = {};
            LVITEMW item{};
            item.iSubItem = 0;
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            std::string shown = Narrow(text);
            bool wanted = false;
            for (const std::string& name : names) {
                // The list may hide known extensions.
                wanted |= shown == name || shown + ".ppt" == name;
            }
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED;
            state.state = wanted ? LVIS_SELECTED : 0;
            ::SendMessageW(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
            found += wanted;
        }
        return found == static_cast<int>(names.size());
    };
}

OpenDialogScript::Step Press(int id) {
    return [id](HWND dialog) {
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        return true;
    };
}

class OpenDialogTest : public ::testing::Test {
  protected:
    std::string Folder() { return FullPathOf(scratch.Folder("pick")); }
    // Makes n presentations with long names in the pick folder and returns their names.
    Names MakeFiles(int n, std::size_t name_length) {
        Names names;
        for (int i = 0; i < n; ++i) {
            std::string name = "deck-" + std::to_string(100 + i) + "-";
            name += std::string(name_length - name.size() - 4, 'x') + ".ppt";
            scratch.File("pick/" + name, {1, 2, 3});
            names.push_back(name);
        }
        return names;
    }
    // Runs the dialog as Add File does with the script and returns what it handed out.
    Names Run(std::vector<OpenDialogScript::Step> steps, INT_PTR* result = nullptr) {
        OpenDialogScript script(std::move(steps));
        CMultiFileDialog dialog(true, "ppt", "", OFN_ALLOWMULTISELECT,
                                "PowerPoint Files (*.ppt)|*.ppt||", nullptr);
        const INT_PTR r = dialog.DoModal();
        if (result) *result = r;
        EXPECT_TRUE(script.Finished()) << "the dialog closed before the script ended";
        Names paths;
        if (r == IDOK) {
            for (auto pos = dialog.GetStartPosition(); pos;) {
                paths.push_back(dialog.GetNextPathName(pos));
            }
        }
        return paths;
    }
    Names PathsOf(const Names& names) {
        Names paths;
        for (const std::string& name : names) paths.push_back(Folder() + name);
        return paths;
    }

    testing::ScratchDir scratch;
};

TEST_F(OpenDialogTest, TwoOrThreeFilesComeOutThroughTheStandardPath) {
    const Names names = MakeFiles(3, 20);
    Names got = Run({Type(Folder()), Select({names[0], names[1]}), Press(IDOK)});
    EXPECT_EQ(got, PathsOf({names[0], names[1]}));
    got = Run(
        {Type(Folder()), Type("\"" + names[2] + "\" \"" + names[0] + "\" \"" + names[1] + "\"")});
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, PathsOf(names));
    // One file typed with its full path.
    got = Run({Type(Folder() + names[1])});
    EXPECT_EQ(got, PathsOf({names[1]}));
}

TEST_F(OpenDialogTest, ASelectionTooLongForTheBufferYieldsEveryPathOnce) {
    // Twelve names of 40 characters, quoted and separated: far past 260 with the folder.
    const Names names = MakeFiles(12, 40);
    INT_PTR result = 0;
    Names got = Run({Type(Folder()), Select(names), Press(IDOK)}, &result);
    EXPECT_EQ(result, IDOK);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, PathsOf(names));
    // Narrowed back to two before Open: the standard path again.
    got = Run({Type(Folder()), Select(names), Select({names[3], names[4]}), Press(IDOK)});
    EXPECT_EQ(got, PathsOf({names[3], names[4]}));
    // Cancelled after an oversized selection: nothing.
    got = Run({Type(Folder()), Select(names), Press(IDCANCEL)}, &result);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(got.empty());
}

TEST(MultiFileDialogSplit, TheCapturedListGivesFolderBackslashNameForEachQuotedName) {
    CMultiFileDialog dialog(true, "ppt", "", OFN_ALLOWMULTISELECT, "", nullptr);
    auto capture = [&](const std::wstring& folder, const std::wstring& spec) {
        dialog.m_pszFolder = std::make_unique<wchar_t[]>(folder.size() + 1);
        folder.copy(dialog.m_pszFolder.get(), folder.size());
        dialog.m_pszSpec = std::make_unique<wchar_t[]>(spec.size() + 1);
        spec.copy(dialog.m_pszSpec.get(), spec.size());
        dialog.m_bSpecParsed = false;
        Names out;
        for (auto pos = dialog.GetStartPosition(); pos;) out.push_back(dialog.GetNextPathName(pos));
        return out;
    };
    EXPECT_EQ(capture(L"C:\\Decks", L"\"a.ppt\" \"b c.ppt\" \"d.ppt\""),
              (Names{"C:\\Decks\\a.ppt", "C:\\Decks\\b c.ppt", "C:\\Decks\\d.ppt"}));
    // A drive root already ends in a backslash: a second one is added all the same.
    EXPECT_EQ(capture(L"D:\\", L"\"x.ppt\" \"y.ppt\""), (Names{"D:\\\\x.ppt", "D:\\\\y.ppt"}));
    // A single name stands unquoted: taken whole.
    EXPECT_EQ(capture(L"C:\\Decks", L"only one.ppt"), Names{"C:\\Decks\\only one.ppt"});
    EXPECT_TRUE(dialog.m_bSpecParsed);
}

// ---------------------------------------------------------------- Settings and File Saved

struct DialogPixels {
    int height = 0;
    std::vector<COLORREF> left;  // x = 2, every row
    int ink = 0;                 // black pixels in the first caption's rectangle
    int first_background = 0;    // pixels of the first caption's background colour
};

DialogPixels PaintOf(HWND box, RECT caption, COLORREF background) {
    DialogPixels p;
    RECT r{};
    ::GetWindowRect(box, &r);
    p.height = r.bottom - r.top;
    testing::Surface surface(r.right - r.left, p.height, RGB(1, 2, 3));
    ::SendMessageW(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc().m_hDC), PRF_CLIENT);
    for (int y = 0; y < p.height; ++y) p.left.push_back(surface.Pixel(2, y));
    for (int y = caption.top; y < caption.bottom; ++y) {
        for (int x = caption.left; x < caption.right; ++x) {
            const COLORREF c = surface.Pixel(x, y);
            p.ink += c == RGB(0, 0, 0);
            p.first_background += c == background;
        }
    }
    return p;
}

std::string TextOf(HWND dialog, int id) {
    wchar_t text[1024] = {};
    ::GetDlgItemTextW(dialog, id, text, 1024);
    return Narrow(text);
}

struct SettingsCase {
    std::string stored;  // the save folder handed in
    std::string shown;   // what the folder box shows
    std::string typed;   // typed into it before OK ("" to leave it)
    std::string result;  // GetSaveFolder after OK
};

TEST(SettingsDialog, TheFolderLosesItsLastBackslashInTheBoxAndGetsOneBackOnOk) {
    const SettingsCase cases[] = {
        {"C:\\Out\\", "C:\\Out", "", "C:\\Out\\"},
        {"nobackslash", "", "", "\\"},
        {"C:\\Out\\", "C:\\Out", "D:\\New", "D:\\New\\"},
        {"C:\\Out\\", "C:\\Out", "D:\\New\\", "D:\\New\\\\"},
        {"E:\\\\", "E:\\", "", "E:\\\\"},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.stored + " / " + c.typed);
        std::string shown, suffix_shown;
        DialogWatcher watcher([&](HWND box) {
            shown = TextOf(box, IDC_SAVE_FOLDER);
            suffix_shown = TextOf(box, IDC_SUFFIX);
            if (!c.typed.empty()) ::SetDlgItemTextW(box, IDC_SAVE_FOLDER, Widen(c.typed).c_str());
        });
        CSettingsDlg dialog;
        dialog.SetSuffix(" _v2. ");
        dialog.SetSaveFolder(c.stored);
        ASSERT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(watcher.shown.at(0).caption, "Settings");
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(suffix_shown, " _v2. ");
        EXPECT_EQ(dialog.GetSaveFolder(), c.result);
        EXPECT_EQ(dialog.GetSuffix(), " _v2. ") << "taken exactly as typed";
    }
}

TEST(SettingsDialog, CancelAndEscapeKeepTheValues) {
    DialogWatcher watcher(
        [](HWND box) {
            ::SetDlgItemTextW(box, IDC_SAVE_FOLDER, L"Z:\\changed");
            ::SetDlgItemTextW(box, IDC_SUFFIX, L"_changed");
        },
        IDCANCEL);
    CSettingsDlg dialog;
    dialog.SetSuffix("_kept");
    dialog.SetSaveFolder("C:\\Kept\\");
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.GetSuffix(), "_kept");
    EXPECT_EQ(dialog.GetSaveFolder(), "C:\\Kept\\");
}

TEST(SettingsDialog, ASuffixThatLeavesTheFolderIsRefusedAndTheDialogStaysOpen) {
    EXPECT_TRUE(IsSafeSuffix("_fixed"));
    EXPECT_TRUE(IsSafeSuffix(""));
    EXPECT_TRUE(IsSafeSuffix("..."));
    for (const char* bad : {"\\..\\x", "/x", "..", "a/b"}) EXPECT_FALSE(IsSafeSuffix(bad)) << bad;
    // OK with a bad suffix: our message, the dialog still up; then a good one is taken.
    std::vector<std::string> messages;
    SetMessageBoxFunction([&](HWND, const std::string& text, const std::string&, UINT) {
        messages.push_back(text);
        return IDOK;
    });
    DialogWatcher watcher([&](HWND box) {
        ::SetDlgItemTextW(box, IDC_SUFFIX, L"\\..\\..\\x");
        ::SendMessageW(box, WM_COMMAND, IDOK, 0);  // refused: had it closed, "_ok" came too late
        ::SetDlgItemTextW(box, IDC_SUFFIX, L"_ok");
    });
    CSettingsDlg dialog;
    dialog.SetSaveFolder("C:\\Out\\");
    EXPECT_EQ(dialog.DoModal(), IDOK);
    SetMessageBoxFunction({});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("suffix"), std::string::npos);
    EXPECT_EQ(dialog.GetSuffix(), "_ok");
}

TEST(SettingsDialog, BrowseCancelledLeavesTheFolderBoxAsItWas) {
    std::string after;
    DialogWatcher watcher(
        [&](HWND box) {
            wchar_t title[64] = {};
            ::GetWindowTextW(box, title, 64);
            if (std::wstring(title) != L"Settings") return;  // the folder browser
            ::SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, IDC_BROWSE)));
            after = TextOf(box, IDC_SAVE_FOLDER);
        },
        IDCANCEL);
    CSettingsDlg dialog;
    dialog.SetSaveFolder("C:\\Kept\\");
    dialog.DoModal();
    ASSERT_EQ(watcher.shown.size(), 2u) << "the folder browser came up";
    EXPECT_EQ(after, "C:\\Kept");
}

TEST(SettingsDialog, PaintsTheGradientAndBothCaptions) {
    DialogPixels p;
    DialogWatcher watcher([&](HWND box) {
        p = PaintOf(box, RECT{20, 25, 300, 50}, RGB(240, 223, 206));
    });
    CSettingsDlg dialog;
    dialog.DoModal();
    ASSERT_GT(p.height, 100);
    for (int y : {0, 30, p.height / 2}) {
        EXPECT_EQ(Hex(p.left[static_cast<std::size_t>(y)]), Hex(testing::GradientBand(y, p.height)))
            << y;
    }
    EXPECT_GT(p.ink, 30);
    EXPECT_GT(p.first_background, 200);
}

TEST(FileSavedDialog, ViewFollowsTheBoxOnOkOnlyAndTheFolderIsShown) {
    struct Case {
        bool clear;
        int answer;
        int view;
    };
    for (const Case& c : {Case{false, IDOK, 1}, Case{true, IDOK, 0}, Case{true, IDCANCEL, 1}}) {
        SCOPED_TRACE(std::to_string(c.clear) + "/" + std::to_string(c.answer));
        std::string folder;
        bool checked = false;
        DialogWatcher watcher(
            [&](HWND box) {
                folder = TextOf(box, IDC_SAVED_FOLDER);
                checked = ::IsDlgButtonChecked(box, IDC_VIEW_SAVED) == BST_CHECKED;
                if (c.clear) ::CheckDlgButton(box, IDC_VIEW_SAVED, BST_UNCHECKED);
            },
            c.answer);
        CFileSavedDlg dialog;
        dialog.SetFolder("C:\\Out\\");
        dialog.DoModal();
        EXPECT_EQ(watcher.shown.at(0).caption, "File Saved");
        EXPECT_EQ(folder, "C:\\Out\\");
        EXPECT_TRUE(checked);
        EXPECT_EQ(dialog.m_bViewSavedFiles, c.view);
    }
}

TEST(FileSavedDialog, PaintsTheGradientAndItsThreeLines) {
    DialogPixels p;
    DialogWatcher watcher([&](HWND box) {
        p = PaintOf(box, RECT{10, 10, 300, 30}, RGB(240, 228, 216));
    });
    CFileSavedDlg dialog;
    dialog.DoModal();
    ASSERT_GT(p.height, 100);
    EXPECT_EQ(Hex(p.left[5]), Hex(testing::GradientBand(5, p.height)));
    EXPECT_GT(p.ink, 30);
    EXPECT_GT(p.first_background, 200);
}

}  // namespace
}  // namespace deckwright
