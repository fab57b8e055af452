#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/wizard_dialogs.h"
#include "platform/settings.h"
#include "platform/ui/controls.h"
#include "platform/ui/wnd.h"
#include "runs/file_operations.h"
#include "skin/bitmap_button.h"

namespace deckwright {

class PanelRunHost;
struct StageWords;

// The window messages that carry a run's progress to the panel: the ProgressCode as wParam,
// the item's index as lParam.
inline constexpr UINT WM_REPAIR_PROGRESS = 5000;
inline constexpr UINT WM_SAVE_PROGRESS = 5001;

// The main frame's client window (id AFX_IDW_PANE_FIRST): the three lists, the two work
// queues, the wizard buttons, the progress bar and the status line, and the two settings. It
// leads the user through five pages; pages 1 and 3 are the busy ones while a worker runs.
class CWizardView : public CWnd {
  public:
    enum Page {
        PAGE_FILES = 0,
        PAGE_REPAIRING = 1,
        PAGE_REPAIRED = 2,
        PAGE_SAVING = 3,
        PAGE_SAVED = 4,
    };

    // Loads the two settings from settings_location. No window exists yet. The runs use the
    // system's files unless tests give others.
    explicit CWizardView(WizardDialogs& dialogs,
                         std::string settings_location = DefaultSettingsLocation(),
                         std::unique_ptr<FileOperations> files = nullptr);
    // Stores the two settings, then waits for a worker still running (which only an abnormal
    // end of the program leaves), so that no worker outlives the queues it works on.
    ~CWizardView() override;

    // Child-window creation with the platform's arguments; the frame passes no class and no
    // title, WS_CHILD | WS_VISIBLE | WS_BORDER, an empty rectangle, itself and 0xE900.
    virtual bool Create(const wchar_t* className, const std::string& windowName, DWORD style,
                        const RECT& rect, CWnd& parent, UINT id, void* context);

    // Places the controls from the frame's client width and height (not the panel's own).
    // Every size is given at 96 DPI and scaled to the panel's.
    void LayoutControls(int cx, int cy);
    // The panel moved to a screen of another scaling: its pictures are loaded again (the
    // frame lays it out again).
    void OnDpiChanged();

    // Where the panel paints, for its present height and DPI: the Select All caption, the
    // page's instruction, the logo and the title; and the heights of the texts' fonts.
    struct PaintLayout {
        RECT select_all;
        RECT instruction;
        RECT logo;
        RECT title;
        int text_height;
        int title_height;
        int status_height;
    };
    PaintLayout GetPaintLayout() const;
    // The page's instruction, or null on the busy pages.
    static const char* InstructionOf(int page);
    // What the last layout was given (0, 0 before the first).
    SIZE GetLayoutSize() const { return m_sizeLayout; }

    // The only way the page changes; pages 1 and 3 start their runs.
    void SwitchPage(int page);
    // Clicks on the wizard buttons (201 to 203) and the Select All box (204).
    void OnWizardButton(UINT id);

    void HideAllControls();
    bool AnyRowChecked(const CListCtrl& list) const;
    void SetAllChecks(CListCtrl& list, bool checked);
    // True when some row of m_listFiles has exactly this full path (byte-wise, case-sensitive).
    bool IsAlreadyListed(const std::string& path) const;

    // The menu and toolbar commands.
    void OnAddFile();
    // Files dropped on the window, or named on the program's command line: added as Add File
    // adds the files chosen in its dialog, with the same refusals.
    void OnDropFiles(const std::vector<std::string>& paths);
    void OnRemoveSelected();
    void OnRemoveAll();
    void OnRepairFile();
    void OnSaveFile();
    void OnSettings();

    // The runs' progress events.
    void OnRepairProgress(int code, int index);
    void OnSaveProgress(int code, int index);
    // Draws one status text into m_rcStatus at once, outside any paint.
    void DrawStatusText(const std::string& text);

    // From a run's start until its final event has been handled.
    bool IsRunInProgress() const { return m_bRunInProgress; }
    // Asked before the frame closes; while a run is in progress it says so and refuses, so
    // that a worker can never reach a destroyed panel.
    bool CanClose();
    // The workers' pause between steps (300 ms); tests shorten it.
    void SetRunPacing(std::chrono::milliseconds pacing) { m_runPacing = pacing; }

    // Declared in this order, as the program's design has them.
    CListCtrl m_listFiles;
    CListCtrl m_listRepaired;
    CListCtrl m_listSaved;
    std::vector<std::string> m_repairQueue;
    std::vector<std::string> m_saveQueue;
    CBitmapButton m_btnNext;
    CBitmapButton m_btnPrevious;
    CBitmapButton m_btnFinished;
    CButton m_chkSelectAll;
    RECT m_rcStatus{0, 0, 0, 0};
    CProgressCtrl m_progress;
    int m_nPage = PAGE_FILES;
    std::string m_strSuffix;
    std::string m_strSaveFolder;
    int m_nSavedInRun = 0;  // items the save run in progress (or the last one) saved

  protected:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;

  private:
    void CreateList(CListCtrl& list, DWORD style, DWORD exStyle, const char* lastHeading);
    // Says why files cannot be added on this page; false when they can.
    bool RefuseAdding();
    void AddFiles(const std::vector<std::string>& paths);
    void StartRepair();
    void BuildRepairQueue();
    void StartSave();
    void BuildSaveQueue();
    // Copies the checked rows of from (columns 0 to 2) into to, in order, with the matching
    // entries of from_entries (or column 1 when there are none) into queue.
    void CopyCheckedRows(const CListCtrl& from, const std::vector<std::string>* from_entries,
                         CListCtrl& to, std::vector<std::string>& queue);
    void PrepareProgress(int items);
    // Starts work on the run thread with a host that reports to this window with message.
    void StartWorker(UINT message, std::function<void(PanelRunHost&)> work);
    void JoinWorker();
    // One item's step: its Status cell, the status line when it begins, the bar.
    void ShowItemProgress(CListCtrl& list, const StageWords& words, int code, int index);
    void OnRunOver();
    void OnEraseBkgnd(CDC& dc);
    void OnPaint();
    // Refusal boxes of the commands and guard boxes of the page changes.
    void Warn(const std::string& text);
    void Tell(const std::string& text);

    WizardDialogs& m_dialogs;
    std::string m_settingsLocation;
    std::unique_ptr<FileOperations> m_files;
    Settings m_settingsLoaded;
    bool m_bSettingsEdited = false;
    SIZE m_sizeLayout{0, 0};

    bool m_bRunInProgress = false;
    std::chrono::milliseconds m_runPacing{300};
    std::unique_ptr<PanelRunHost> m_runHost;
    std::atomic<bool> m_bWorkerDone{true};
    std::thread m_worker;
};

}  // namespace deckwright
