#pragma once

// The panel's scenario tests run the same sources twice: natively over the in-memory toolkit
// (under AddressSanitizer) and under Wine over the real controls. What differs between the two
// (clicking a button, reading what was painted) is here.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/wizard_dialogs.h"
#include "panel/wizard_view.h"
#include "platform/ui/shell.h"
#include "tests/runs/run_test_support.h"

namespace deckwright::testing {

// A message box as the program showed it.
struct ShownBox {
    std::string text;
    std::string caption;
    UINT type;
    bool owned;  // shown with an owner window (the panel's); workers show theirs without
};

// Answers every message box from a script (IDOK, or the next queued answer for Yes/No boxes)
// and records it; boxes come from the user-interface thread and from workers alike.
class MessageBoxScript {
  public:
    MessageBoxScript();
    ~MessageBoxScript();
    MessageBoxScript(const MessageBoxScript&) = delete;
    MessageBoxScript& operator=(const MessageBoxScript&) = delete;

    void AnswerYesNo(std::deque<int> answers);
    // Called with each box as it is shown (on the thread that shows it).
    std::function<void(const ShownBox&)> on_show;
    std::vector<ShownBox> Shown();
    std::vector<std::string> Texts();
    void Clear();

  private:
    std::mutex lock_;
    std::vector<ShownBox> shown_;
    std::deque<int> yes_no_;
};

// The panel's dialogs, scripted: each call takes the next answer and is recorded.
class ScriptedDialogs final : public WizardDialogs {
  public:
    std::vector<std::string> ShowOpenDialog() override;
    std::optional<SettingsValues> EditSettings(const SettingsValues& current) override;
    bool ShowFileSaved(const std::string& folder) override;
    std::optional<std::string> AskSaveAsPath(const std::string& initial_path) override;

    std::deque<std::vector<std::string>> open_answers;
    std::deque<std::optional<SettingsValues>> settings_answers;
    std::deque<bool> file_saved_answers;  // true when the box is left checked on OK
    std::deque<std::optional<std::string>> save_as_answers;
    std::function<void()> on_file_saved;  // called as the File Saved dialog comes up

    int open_calls = 0;
    std::vector<SettingsValues> settings_shown;
    std::vector<std::string> file_saved_folders;
    std::vector<std::string> save_as_requests;

  private:
    std::mutex lock_;  // Save As is asked from the run's thread
};

// What the panel was like right after it handled one progress event.
struct Snapshot {
    UINT message;
    int code;
    int index;
    int page;
    int position;
    std::string status;  // the Status cell of the event's row
    bool running;
};

// The panel with a record of every progress event it handled.
class ObservedPanel : public CWizardView {
  public:
    using CWizardView::CWizardView;
    bool Dispatch(UINT message, WPARAM wp, LPARAM lp, LRESULT* result) override;
    std::vector<Snapshot> snapshots;
};

// A parent window holding an ObservedPanel laid out for an 800 x 600 frame client area, with
// scratch settings, a scratch temporary folder and save folder ("out"), no pacing, scripted
// boxes and dialogs, and shell requests recorded.
class PanelTest : public ::testing::Test {
  protected:
    PanelTest();
    ~PanelTest() override;

    // Sends a menu command as the frame routes it.
    void Command(UINT id);
    // A click on a button as a user makes it (the check box toggles first). Nothing else is
    // handled meanwhile: a run's worker waits until RunUntil.
    void Click(CButton& button);
    // Handles messages until done() or the timeout; false on timeout.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Runs the page's run to its end (the panel leaves page 1 or 3).
    void FinishRun();
    // Drops files on the panel as Explorer does.
    void Drop(const std::vector<std::string>& paths);
    // Adds files through Add File with the open dialog answering paths.
    void AddThroughDialog(const std::vector<std::string>& paths);
    // A damaged (header zeroed) copy of a small valid presentation, by its full path.
    std::string DamagedSample(const std::string& name, std::uint32_t seed);

    std::vector<std::string> Column(const CListCtrl& list, int column) const;
    std::vector<bool> Checks(const CListCtrl& list) const;
    // The visible controls, by name, in a fixed order.
    std::vector<std::string> Visible() const;
    int Position() const { return panel->m_progress.GetPos(); }

    ScratchDir scratch;
    std::string settings_location;
    MessageBoxScript boxes;
    ScriptedDialogs dialogs;
    std::vector<std::string> shell_opened;
    CWnd parent;
    std::unique_ptr<ObservedPanel> panel;
};

// Where a panel's settings go in a test: a scratch file, or a scratch registry key.
std::string ScratchSettingsLocation(const ScratchDir& scratch);
void RemoveScratchSettings(const std::string& location);

}  // namespace deckwright::testing
