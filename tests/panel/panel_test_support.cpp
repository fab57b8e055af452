#include "tests/panel/panel_test_support.h"

#include <atomic>

#include "platform/ui/afx_ids.h"
#include "res/resource.h"

#ifdef _WIN32
#include <shlobj.h>

#include <cstring>

#include "platform/utf.h"
#else
#include "platform/ui/headless/inspect.h"
#include "platform/ui/headless/window.h"
#endif

namespace deckwright::testing {

// ---------------------------------------------------------------- message boxes

MessageBoxScript::MessageBoxScript() {
    SetMessageBoxFunction(
        [this](HWND owner, const std::string& text, const std::string& caption, UINT type) {
            std::lock_guard<std::mutex> guard(lock_);
            shown_.push_back({text, caption, type, owner != nullptr});
            if (on_show) on_show(shown_.back());
            if (!(type & MB_YESNO)) return IDOK;
            EXPECT_FALSE(yes_no_.empty()) << "unexpected question: " << text;
            if (yes_no_.empty()) return IDNO;
            const int answer = yes_no_.front();
            yes_no_.pop_front();
            return answer;
        });
}

MessageBoxScript::~MessageBoxScript() {
    SetMessageBoxFunction({});
}

void MessageBoxScript::AnswerYesNo(std::deque<int> answers) {
    std::lock_guard<std::mutex> guard(lock_);
    yes_no_ = std::move(answers);
}

std::vector<ShownBox> MessageBoxScript::Shown() {
    std::lock_guard<std::mutex> guard(lock_);
    return shown_;
}

std::vector<std::string> MessageBoxScript::Texts() {
    std::vector<std::string> texts;
    for (const ShownBox& box : Shown()) texts.push_back(box.text);
    return texts;
}

void MessageBoxScript::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    shown_.clear();
}

// ---------------------------------------------------------------- dialogs

std::vector<std::string> ScriptedDialogs::ShowOpenDialog() {
    ++open_calls;
    EXPECT_FALSE(open_answers.empty()) << "unexpected open dialog";
    if (open_answers.empty()) return {};
    auto answer = open_answers.front();
    open_answers.pop_front();
    return answer;
}

std::optional<SettingsValues> ScriptedDialogs::EditSettings(const SettingsValues& current) {
    settings_shown.push_back(current);
    EXPECT_FALSE(settings_answers.empty()) << "unexpected Settings dialog";
    if (settings_answers.empty()) return std::nullopt;
    auto answer = settings_answers.front();
    settings_answers.pop_front();
    return answer;
}

bool ScriptedDialogs::ShowFileSaved(const std::string& folder) {
    file_saved_folders.push_back(folder);
    if (on_file_saved) on_file_saved();
    if (file_saved_answers.empty()) return false;
    const bool view = file_saved_answers.front();
    file_saved_answers.pop_front();
    return view;
}

std::optional<std::string> ScriptedDialogs::AskSaveAsPath(const std::string& initial_path) {
    std::lock_guard<std::mutex> guard(lock_);
    save_as_requests.push_back(initial_path);
    EXPECT_FALSE(save_as_answers.empty()) << "unexpected Save As";
    if (save_as_answers.empty()) return std::nullopt;
    auto answer = save_as_answers.front();
    save_as_answers.pop_front();
    return answer;
}

// ---------------------------------------------------------------- the observed panel

bool ObservedPanel::Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) {
    const bool handled = CWizardView::Dispatch(message, wp, lp, result);
    if (message == WM_REPAIR_PROGRESS || message == WM_SAVE_PROGRESS) {
        const CListCtrl& list = message == WM_REPAIR_PROGRESS ? m_listRepaired : m_listSaved;
        const int index = static_cast<int>(lp);
        snapshots.push_back({message, static_cast<int>(wp), index, m_nPage, m_progress.GetPos(),
                             list.GetItemText(index, 3), IsRunInProgress()});
    }
    return handled;
}

// ---------------------------------------------------------------- settings stores

std::string ScratchSettingsLocation(const ScratchDir& scratch) {
#ifdef _WIN32
    (void)scratch;
    static std::atomic<int> counter{0};
    return "Software\\Velmora\\DeckwrightPanelTest-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
#else
    return scratch.Path("config/deckwright/settings");
#endif
}

void RemoveScratchSettings(const std::string& location) {
#ifdef _WIN32
    RegDeleteTreeW(HKEY_CURRENT_USER, Widen(location).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, Widen(location).c_str());
#else
    (void)location;  // inside the scratch folder
#endif
}

// ---------------------------------------------------------------- the fixture

PanelTest::PanelTest() : settings_location(ScratchSettingsLocation(scratch)) {
    SetShellOpenFunction([this](HWND, const std::string& verb, const std::string& file, int show) {
        EXPECT_EQ(verb, "open");
        EXPECT_EQ(show, SW_SHOW);
        shell_opened.push_back(file);
    });
    parent.CreateEx(0, nullptr, "Deckwright panel tests", WS_POPUP | WS_VISIBLE,
                    RECT{0, 0, 800, 600}, nullptr, 0);
    panel = std::make_unique<ObservedPanel>(
        dialogs, settings_location, std::make_unique<SystemFileOperations>(scratch.Folder("temp")));
    panel->SetRunPacing(std::chrono::milliseconds(0));
    // Saved copies go to the scratch folder, never into the user's Documents.
    panel->m_strSaveFolder = scratch.Folder("out");
    EXPECT_TRUE(panel->Create(nullptr, "", WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{0, 0, 800, 600},
                              parent, AFX_IDW_PANE_FIRST, nullptr));
    panel->LayoutControls(800, 600);
    PumpMessages();
}

PanelTest::~PanelTest() {
    panel.reset();
    parent.DestroyWindow();
    PumpMessages();
    RemoveScratchSettings(settings_location);
    SetShellOpenFunction({});
}

void PanelTest::Command(UINT id) {
    panel->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void PanelTest::Click(CButton& button) {
#ifdef _WIN32
    button.SendMessage(BM_CLICK);
#else
    // As the control does: only what can be seen can be clicked; a check box toggles first.
    if (!button.IsWindowVisible()) return;
    HWND__* window = headless::Live(button.m_hWnd);
    if ((window->style & 0xF) == BS_AUTOCHECKBOX) button.SetCheck(button.GetCheck() ? 0 : 1);
    panel->SendMessage(WM_COMMAND, MAKEWPARAM(window->id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button.m_hWnd));
#endif
}

bool PanelTest::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        PumpMessages();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        WaitForMessage(std::chrono::milliseconds(10));
    }
}

void PanelTest::FinishRun() {
    ASSERT_TRUE(RunUntil([this] { return !panel->IsRunInProgress(); })) << "the run did not end";
}

void PanelTest::Drop(const std::vector<std::string>& paths) {
#ifdef _WIN32
    // A DROPFILES block with the paths as UTF-16, NUL-separated, ending in two NULs.
    std::wstring names;
    for (const std::string& path : paths) names += Widen(path) + L'\0';
    names += L'\0';
    HGLOBAL drop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(::GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(drop);
    panel->SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(drop));  // the panel frees it
#else
    panel->SendMessage(WM_DROPFILES, headless::DropOf(paths));
#endif
}

void PanelTest::AddThroughDialog(const std::vector<std::string>& paths) {
    dialogs.open_answers.push_back(paths);
    Command(ID_ADD_FILE);
}

std::string PanelTest::DamagedSample(const std::string& name, std::uint32_t seed) {
    // As the panel lists it: the full path in the system's own form.
    return FullPathOf(scratch.File("in/" + name, SamplePresentation(seed, true)));
}

std::vector<std::string> PanelTest::Column(const CListCtrl& list, int column) const {
    std::vector<std::string> cells;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        cells.push_back(list.GetItemText(row, column));
    }
    return cells;
}

std::vector<bool> PanelTest::Checks(const CListCtrl& list) const {
    std::vector<bool> checks;
    for (int row = 0; row < list.GetItemCount(); ++row) checks.push_back(list.GetCheck(row));
    return checks;
}

std::vector<std::string> PanelTest::Visible() const {
    const std::pair<const char*, const CWnd*> controls[] = {
        {"files", &panel->m_listFiles},      {"repaired", &panel->m_listRepaired},
        {"saved", &panel->m_listSaved},      {"progress", &panel->m_progress},
        {"next", &panel->m_btnNext},         {"previous", &panel->m_btnPrevious},
        {"finished", &panel->m_btnFinished}, {"select all", &panel->m_chkSelectAll}};
    std::vector<std::string> names;
    for (const auto& [name, control] : controls) {
        if (control->IsWindowVisible()) names.push_back(name);
    }
    return names;
}

}  // namespace deckwright::testing
